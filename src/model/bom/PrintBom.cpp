#include "model/bom/PrintBom.h"

TTextItem::TTextItem() {
    // Never saved, but every object carries an identifier like the stored ones.
    SetOID(NewOID());
}

TTextItem::~TTextItem() = default;

TCPrint::TCPrint() : FLines(std::make_unique<TCLines>()) {
    FLines->SetOwner(this);
}

TCPrint::~TCPrint() = default;

void TCPrint::AddLine(std::unique_ptr<TLineOfText> line) {
    const bool pageBreak = line->PageBreak;
    FLines->Add(line.release());
    if (!pageBreak)
        ++FCount;
}

void TCPrint::AddLineBreak() {
    auto line = std::make_unique<TLineOfText>();
    line->LineBreak = true;
    AddLine(std::move(line));
}

void TCPrint::AddPageBreak() {
    auto line = std::make_unique<TLineOfText>();
    line->PageBreak = true;
    AddLine(std::move(line));
}

void TCPrint::AddStripe(double, double, double, const QString&) {}

std::vector<TPersistentObject*> TCPrint::OwnedObjects() const {
    return {FLines.get()};
}
