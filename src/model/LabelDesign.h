#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class TPrintItem;
class TProject;

// What the designer moves and sizes: the four stored numbers of an item, in
// millimetres. Their meaning depends on the kind: a line's Width and Height are
// its end point, a text's Width its frame or wrap width, a barcode's Height its bars.
struct TItemGeometry {
    double X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TItemGeometry&) const = default;
};
TItemGeometry GeometryOf(const TPrintItem& item);
void SetGeometry(TPrintItem& item, const TItemGeometry& geometry);

// A length as the designer stores it: on the 1 mm grid when snapping, else to
// a hundredth of a millimetre (finer than a dot at 1200 dpi).
double DesignMm(double mm, bool snap);

// What a press on an item takes hold of.
enum class TDesignHandle {
    None,
    Move,      // the whole item
    LineStart, // a line's start point
    LineEnd,   // a line's end point
    Height,    // a barcode's bar height; the width follows the symbol
    Corner,    // QR code and picture: width and height
    Width,     // a text's frame and wrap width
};

// The handles an item offers besides moving it. A turned barcode has none:
// its height no longer runs down the page.
std::vector<TDesignHandle> HandlesOf(int type, double rotateDegree);

// The geometry after dragging `handle` by dx, dy mm. shownWidth: the width a
// text's frame has on the page (mm), for a text whose width is automatic.
TItemGeometry DraggedGeometry(int type, TDesignHandle handle, const TItemGeometry& from, double dx,
                              double dy, bool snap, double shownWidth = 0);
// The same for an arrow key: the item moves by dx, dy mm, off the grid.
TItemGeometry NudgedGeometry(const TItemGeometry& from, int type, double dx, double dy);

// The designer's moves, resizes and deletes of one project's items: each saved
// at once (one save each), each undone and redone by saving again. Items are
// found by OID, as a deleted item comes back as a new object.
class TDesignHistory {
public:
    explicit TDesignHistory(TProject& project);
    ~TDesignHistory();
    TDesignHistory(const TDesignHistory&) = delete;
    TDesignHistory& operator=(const TDesignHistory&) = delete;

    // Saves the item with the new geometry. A refused save leaves the item as
    // the database holds it and throws ESaveRefused; nothing is recorded.
    void Change(TPrintItem& item, const TItemGeometry& to);
    // Deletes the item from the database and the project (destroying it). Its
    // picture stays stored while the delete can be undone.
    void Delete(TPrintItem& item);

    bool CanUndo() const { return FIndex > 0; }
    bool CanRedo() const { return FIndex < int(FEdits.size()); }
    // Throw as Change does; a refused step stays where it was in the history.
    void Undo();
    void Redo();
    // The OID of the item the last undo or redo touched.
    const QString& LastItem() const { return FLastItem; }
    bool Changed() const { return FChanged; }

    // The pictures of items deleted and not brought back: theirs to delete from
    // the store once the history is gone.
    QStringList PicturesLeft() const;

private:
    struct TEdit;
    TPrintItem* find(const QString& oid) const;
    void apply(const TEdit& edit, bool forward);
    void setGeometry(TPrintItem& item, const TItemGeometry& to);
    void remove(TPrintItem& item);
    void restore(const TEdit& edit);

    TProject& FProject;
    std::vector<std::unique_ptr<TEdit>> FEdits;
    int FIndex = 0;
    QString FLastItem;
    bool FChanged = false;
};
