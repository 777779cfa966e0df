#include "model/Fields.h"

#include "model/Composer.h"
#include "model/bom/SettingBom.h"

#include <QCollator>
#include <algorithm>

bool TakesFields(int itemType) {
    return itemType == itText || itemType == itBarcode || itemType == itQRCode;
}

bool CanBeField(const QString& name) {
    return !name.isEmpty() && !name.contains(u'{') && !name.contains(u'}');
}

std::vector<const TPrintItem*> ItemsInNameOrder(const TProject& project) {
    const TPrintItemList& list = *project.ItemList();
    std::vector<const TPrintItem*> items;
    items.reserve(list.Count());
    for (int i = 0; i < list.Count(); ++i)
        items.push_back(list.Items(i));
    // The collation the window's list is sorted by; one for all pages.
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    std::stable_sort(items.begin(), items.end(), [](const TPrintItem* a, const TPrintItem* b) {
        return collator.compare(a->ItemName(), b->ItemName()) < 0;
    });
    return items;
}

QStringList FieldsUsed(const QString& value, const std::vector<const TPrintItem*>& items) {
    QStringList used;
    if (!value.contains(u'{'))
        return used;
    const auto isItem = [&](const QString& name) {
        return std::any_of(items.begin(), items.end(),
                           [&](const TPrintItem* item) { return item->ItemName() == name; });
    };
    for (const TFieldPart& part : SplitFields(value, isItem))
        if (part.IsField && !used.contains(part.Text))
            used << part.Text;
    return used;
}

std::vector<const TPrintItem*> ItemsPrinted(const TProject& project) {
    const std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    std::vector<const TPrintItem*> printed;
    std::vector<const TPrintItem*> todo;
    for (const TPrintItem* item : items)
        if (IsTrue(item->ItemActive()))
            todo.push_back(item);
    while (!todo.empty()) {
        const TPrintItem* item = todo.back();
        todo.pop_back();
        if (std::find(printed.begin(), printed.end(), item) != printed.end())
            continue;
        printed.push_back(item);
        if (!TakesFields(item->ItemType()))
            continue;
        for (const QString& name : FieldsUsed(item->ItemValue(), items))
            for (const TPrintItem* source : items)
                if (source->ItemName() == name) {
                    todo.push_back(source);
                    break;
                }
    }
    return printed;
}

bool SymbolsVaryByPage(const TProject& project) {
    const std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    for (const TPrintItem* item : ItemsPrinted(project))
        if ((item->ItemType() == itBarcode || item->ItemType() == itQRCode) &&
            (!FieldsUsed(item->ItemValue(), items).isEmpty() ||
             item->ItemValue().contains(FieldText(PageNumberField))))
            return true;
    return false;
}

QString RenameField(const QString& value, const QString& from, const QString& to) {
    // Only the fields naming `from` change; every other character stays as typed.
    QString renamed;
    for (const TFieldPart& part : SplitFields(value, [&](const QString& name) { return name == from; }))
        renamed += part.IsField ? FieldText(to) : value.mid(part.From, part.To - part.From);
    return renamed;
}

TPageValues::TPageValues(const std::vector<const TPrintItem*>& items, qint32 page,
                         const TClock& clock, const QLocale& locale)
    : FItems(items), FPage(page), FClock(clock), FLocale(locale), FTexts(items.size()) {
    // The first item of a name in drawing order answers to it.
    for (int i = int(items.size()) - 1; i >= 0; --i)
        FByName.insert(items[i]->ItemName(), i);
}

QString TPageValues::Text(const TPrintItem& item) {
    const auto it = std::find(FItems.begin(), FItems.end(), &item);
    return it == FItems.end() ? QString() : Text(int(it - FItems.begin()));
}

QString TPageValues::Text(int index) {
    if (FTexts[index])
        return *FTexts[index];
    if (std::find(FResolving.begin(), FResolving.end(), index) != FResolving.end()) {
        const QString& name = FItems[index]->ItemName();
        if (FResolving.back() == index)
            throw EFieldError(
                QStringLiteral("打印项 \"%1\" 的内容引用了它自己：%2").arg(name, FieldText(name)));
        QStringList chain;
        for (auto i = std::find(FResolving.begin(), FResolving.end(), index);
             i != FResolving.end(); ++i)
            chain << FItems[*i]->ItemName();
        chain << name;
        throw EFieldError(QStringLiteral("打印项的内容互相引用：%1").arg(chain.join(QStringLiteral(" → "))));
    }
    FResolving.push_back(index);
    QString text;
    try {
        text = ownText(index);
    } catch (...) {
        FResolving.pop_back();
        throw;
    }
    FResolving.pop_back();
    FTexts[index] = text;
    return text;
}

QString TPageValues::ownText(int index) {
    const TPrintItem& item = *FItems[index];
    switch (item.ItemType()) {
    case itSerial:
        return getSerial(item, SerialValue(item, FPage));
    case itDate:
        return FormatDateTime(item.ItemValue(), FClock(), FLocale);
    default:
        break;
    }
    const QString& value = item.ItemValue();
    if (!TakesFields(item.ItemType()) || (!value.contains(u'{') && !value.contains(u'}')))
        return value;
    const auto known = [this](const QString& name) {
        return FByName.contains(name) || name == PageNumberField;
    };
    QString text;
    for (const TFieldPart& part : SplitFields(value, known)) {
        if (!part.IsField)
            text += part.Text;
        else if (const auto source = FByName.constFind(part.Text); source != FByName.cend())
            text += Text(*source);
        else
            text += QString::number(FPage);
    }
    return text;
}

QString ItemPageValue(const TProject& project, const TPrintItem& item, qint32 page,
                      const TClock& clock, const QLocale& locale) {
    std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    const auto same = std::find_if(items.begin(), items.end(), [&](const TPrintItem* i) {
        return i == &item || (!item.OID().isEmpty() && i->OID() == item.OID());
    });
    if (same != items.end())
        *same = &item;
    else
        items.push_back(&item);
    TPageValues values(items, page, clock, locale);
    return values.Text(item);
}
