#include "model/Fields.h"

#include "model/Composer.h"
#include "model/DataFile.h"
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

bool SymbolsVaryByPage(const TProject& project, const QStringList& columns) {
    const std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    // Every name a field may take: the same rule composition resolves by.
    const auto known = [&](const QString& name) {
        return name == PageNumberField || columns.contains(name) ||
               std::ranges::any_of(items, [&](const TPrintItem* i) { return i->ItemName() == name; });
    };
    for (const TPrintItem* item : ItemsPrinted(project))
        if ((item->ItemType() == itBarcode || item->ItemType() == itQRCode) &&
            std::ranges::any_of(SplitFields(item->ItemValue(), known),
                                [](const TFieldPart& part) { return part.IsField; }))
            return true;
    return false;
}

QStringList ColumnsNamedLikeItems(const TProject& project, const QStringList& columns) {
    QStringList clashes;
    const TPrintItemList& list = *project.ItemList();
    for (int i = 0; i < list.Count(); ++i)
        if (columns.contains(list.Items(i)->ItemName()) &&
            !clashes.contains(list.Items(i)->ItemName()))
            clashes << list.Items(i)->ItemName();
    return clashes;
}

QString ColumnItemClash(const QString& name) {
    return QStringLiteral("数据的列 \"%1\" 和打印项同名，字段 %2 分不清取哪一个；"
                          "请给打印项换一个名称")
        .arg(name, FieldText(name));
}

QString RenameField(const QString& value, const QString& from, const QString& to) {
    // Only the fields naming `from` change; every other character stays as typed.
    QString renamed;
    for (const TFieldPart& part : SplitFields(value, [&](const QString& name) { return name == from; }))
        renamed += part.IsField ? FieldText(to) : value.mid(part.From, part.To - part.From);
    return renamed;
}

TPageValues::TPageValues(const std::vector<const TPrintItem*>& items, qint32 page,
                         const TClock& clock, const QLocale& locale, const TDataTable* data)
    : FItems(items), FPage(page), FClock(clock), FLocale(locale), FData(data),
      FTexts(items.size()) {
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
    const auto column = [this](const QString& name) {
        return FData ? FData->ColumnIndex(name) : -1;
    };
    const auto known = [&](const QString& name) {
        return FByName.contains(name) || name == PageNumberField || column(name) >= 0;
    };
    const bool symbol = item.ItemType() == itBarcode || item.ItemType() == itQRCode;
    QString text;
    for (const TFieldPart& part : SplitFields(value, known)) {
        const int col = column(part.Text);
        if (!part.IsField) {
            text += part.Text;
        } else if (const auto source = FByName.constFind(part.Text); source != FByName.cend()) {
            if (col >= 0)
                throw EFieldError(ColumnItemClash(part.Text));
            text += Text(*source);
        } else if (col >= 0) {
            const QString& cell = FData->PageRow(FPage)[col];
            // A symbol of nothing scans as nothing: the row is missing a value.
            if (symbol && cell.trimmed().isEmpty())
                throw EDataFileError(
                    QStringLiteral("数据第 %1 行的列 \"%2\" 是空的，%3 \"%4\" 不能没有内容")
                        .arg(FPage)
                        .arg(part.Text,
                             item.ItemType() == itBarcode ? QStringLiteral("条码")
                                                          : QStringLiteral("二维码"),
                             item.ItemName()));
            text += cell;
        } else {
            text += QString::number(FPage);
        }
    }
    return text;
}

QString ItemPageValue(const TProject& project, const TPrintItem& item, qint32 page,
                      const TClock& clock, const QLocale& locale, const TDataTable* data) {
    std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    const auto same = std::find_if(items.begin(), items.end(), [&](const TPrintItem* i) {
        return i == &item || (!item.OID().isEmpty() && i->OID() == item.OID());
    });
    if (same != items.end())
        *same = &item;
    else
        items.push_back(&item);
    TPageValues values(items, page, clock, locale, data);
    return values.Text(item);
}
