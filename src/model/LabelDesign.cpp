#include "model/LabelDesign.h"

#include "model/ItemEditing.h"
#include "model/bom/SettingBom.h"
#include "persistence/DatabaseConnection.h"

#include <cmath>

namespace {

// The smallest size a handle leaves: a symbol or picture never vanishes.
constexpr double kMinSize = 0.1;

double atLeast(double mm, bool snap) {
    return std::max(DesignMm(mm, snap), snap ? 1.0 : kMinSize);
}

} // namespace

TItemGeometry GeometryOf(const TPrintItem& item) {
    return {item.ItemX(), item.ItemY(), item.ItemTextWidth(), item.ItemLineHeight()};
}

void SetGeometry(TPrintItem& item, const TItemGeometry& g) {
    item.SetItemX(g.X);
    item.SetItemY(g.Y);
    item.SetItemTextWidth(g.Width);
    item.SetItemLineHeight(g.Height);
}

double DesignMm(double mm, bool snap) {
    return snap ? std::round(mm) : std::round(mm * 100) / 100;
}

std::vector<TDesignHandle> HandlesOf(int type, double rotateDegree) {
    switch (type) {
    case itLine:
        return {TDesignHandle::LineStart, TDesignHandle::LineEnd};
    case itBarcode:
        if (rotateDegree != 0)
            return {};
        return {TDesignHandle::Height};
    case itQRCode:
    case itImage:
        return {TDesignHandle::Corner};
    default:
        return {TDesignHandle::Width};
    }
}

TItemGeometry DraggedGeometry(int type, TDesignHandle handle, const TItemGeometry& from, double dx,
                              double dy, bool snap, double shownWidth) {
    TItemGeometry g = from;
    switch (handle) {
    case TDesignHandle::Move:
        g.X = DesignMm(from.X + dx, snap);
        g.Y = DesignMm(from.Y + dy, snap);
        // A line keeps its length and slant: its end goes as far as its start went.
        if (type == itLine) {
            g.Width = DesignMm(from.Width + (g.X - from.X), false);
            g.Height = DesignMm(from.Height + (g.Y - from.Y), false);
        }
        break;
    case TDesignHandle::LineStart:
        g.X = DesignMm(from.X + dx, snap);
        g.Y = DesignMm(from.Y + dy, snap);
        break;
    case TDesignHandle::LineEnd:
        g.Width = DesignMm(from.Width + dx, snap);
        g.Height = DesignMm(from.Height + dy, snap);
        break;
    case TDesignHandle::Height:
        g.Height = atLeast(from.Height + dy, snap);
        break;
    case TDesignHandle::Corner:
        g.Width = atLeast(from.Width + dx, snap);
        g.Height = atLeast(from.Height + dy, snap);
        break;
    case TDesignHandle::Width:
        g.Width = atLeast((from.Width > 0 ? from.Width : shownWidth) + dx, snap);
        break;
    case TDesignHandle::None:
        break;
    }
    return g;
}

TItemGeometry NudgedGeometry(const TItemGeometry& from, int type, double dx, double dy) {
    return DraggedGeometry(type, TDesignHandle::Move, from, dx, dy, false);
}

// ---- history

struct TDesignHistory::TEdit {
    QString Oid;
    TItemGeometry Before, After;
    // A delete: the item as it was stored, to insert again.
    std::unique_ptr<TPrintItem> Removed;
};

TDesignHistory::TDesignHistory(TProject& project) : FProject(project) {}

TDesignHistory::~TDesignHistory() = default;

TPrintItem* TDesignHistory::find(const QString& oid) const {
    TPrintItemList* items = FProject.ItemList();
    for (int i = 0; i < items->Count(); ++i)
        if (items->Items(i)->OID() == oid)
            return items->Items(i);
    return nullptr;
}

void TDesignHistory::setGeometry(TPrintItem& item, const TItemGeometry& to) {
    const TObjectSnapshot before(item);
    SaveOrRestore(item, before, [&] {
        SetGeometry(item, to);
        item.SetDirty(true);
        item.Save();
    });
    FChanged = true;
}

void TDesignHistory::remove(TPrintItem& item) {
    try {
        DeleteOrRestore(item);
    } catch (const EDatabaseError& e) {
        throw ESaveRefused(SaveRefusedMessage(e.Message()));
    }
    FProject.ItemList()->Remove(&item);
    FChanged = true;
}

void TDesignHistory::restore(const TEdit& edit) {
    auto item = std::make_unique<TPrintItem>();
    CopyPublishedProps(*edit.Removed, *item);
    item->SetOID(edit.Oid);
    // The row's project_id, before it joins the list.
    item->SetOwner(&FProject);
    item->SetDirty(true);
    try {
        item->Save();
    } catch (const EDatabaseError& e) {
        throw ESaveRefused(SaveRefusedMessage(e.Message()));
    }
    FProject.ItemList()->Add(item.release());
    FChanged = true;
}

void TDesignHistory::Change(TPrintItem& item, const TItemGeometry& to) {
    const TItemGeometry from = GeometryOf(item);
    if (from == to)
        return;
    setGeometry(item, to);
    FEdits.resize(FIndex);
    FEdits.push_back(std::make_unique<TEdit>(TEdit{item.OID(), from, to, nullptr}));
    ++FIndex;
}

void TDesignHistory::Delete(TPrintItem& item) {
    auto copy = std::make_unique<TPrintItem>();
    CopyPublishedProps(item, *copy);
    const QString oid = item.OID();
    remove(item);
    FEdits.resize(FIndex);
    FEdits.push_back(std::make_unique<TEdit>(TEdit{oid, {}, {}, std::move(copy)}));
    ++FIndex;
}

void TDesignHistory::apply(const TEdit& edit, bool forward) {
    FLastItem = edit.Oid;
    TPrintItem* item = find(edit.Oid);
    if (edit.Removed) {
        if (forward && item)
            remove(*item);
        else if (!forward && !item)
            restore(edit);
        return;
    }
    // Another window may have deleted it since; then there is nothing to undo.
    if (!item)
        throw Exception(QStringLiteral("打印项已不在项目中，无法撤销或重做。"));
    setGeometry(*item, forward ? edit.After : edit.Before);
}

void TDesignHistory::Undo() {
    if (!CanUndo())
        return;
    apply(*FEdits[FIndex - 1], false);
    --FIndex;
}

void TDesignHistory::Redo() {
    if (!CanRedo())
        return;
    apply(*FEdits[FIndex], true);
    ++FIndex;
}

QStringList TDesignHistory::PicturesLeft() const {
    QStringList pictures;
    for (const auto& edit : FEdits)
        if (edit->Removed && !edit->Removed->FileId().isEmpty() && !find(edit->Oid) &&
            !pictures.contains(edit->Removed->FileId()))
            pictures << edit->Removed->FileId();
    return pictures;
}
