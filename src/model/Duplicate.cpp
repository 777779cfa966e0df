#include "model/Duplicate.h"

#include "model/ItemEditing.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"
#include "persistence/PersistenceManager.h"

#include <QRegularExpression>
#include <memory>
#include <optional>
#include <vector>

namespace {

const QString kCopyMark = QStringLiteral(" 副本");

QString copySuffix(int number) {
    return number == 1 ? kCopyMark : kCopyMark + QString::number(number);
}

// A statement of the copy's transaction; parameters by name, as the save's own.
void execute(TWriteSession& writes, const QString& sql, const TStatementParams& params) {
    QStringList names;
    const QString positional = PositionalSql(sql, names);
    QList<QVariant> values;
    for (const QString& name : names) {
        QVariant value;
        for (const auto& [param, v] : params)
            if (param.compare(name, Qt::CaseInsensitive) == 0)
                value = v;
        values << value;
    }
    PersistenceManager().NotifyStatement(sql, params);
    writes.Execute(positional, values);
}

void insertFile(TWriteSession& writes, const TCFile& file) {
    execute(writes,
            QStringLiteral("insert into P_FILE (oid, owner, file_name, file_type, file_size, body) "
                           "values (:oid, :owner, :filename, :filetype, :filesize, :body)"),
            {{QStringLiteral("oid"), file.Oid},
             {QStringLiteral("owner"), file.Owner},
             {QStringLiteral("filename"), file.FileName},
             {QStringLiteral("filetype"), file.FileType},
             {QStringLiteral("filesize"), file.FileSize},
             {QStringLiteral("body"), file.Body}});
}

// The picture of `from` as a new stored file that `to` owns and names. A picture
// whose row is gone is not pointed at by the copy either.
std::unique_ptr<TCFile> copyPicture(const TPrintItem& from, TPrintItem& to, TFileMgr& files) {
    if (from.FileId().isEmpty())
        return nullptr;
    const std::unique_ptr<TCFile> stored = files.GetFileFromDb(from.FileId());
    if (stored->Oid != from.FileId()) {
        to.SetFileId(QString());
        return nullptr;
    }
    auto copy = std::make_unique<TCFile>();
    copy->Owner = to.OID();
    copy->FileName = stored->FileName;
    copy->FileType = stored->FileType;
    copy->SetBody(stored->Body);
    to.SetFileId(copy->Oid);
    return copy;
}

// A project's data as stored: its P_DATA values as they are, its file for the copy.
struct TDataCopy {
    QVariant Delimiter, HeaderRow;
    TCFile File;
};

std::optional<TDataCopy> copyData(const QString& projectOid, const QString& copyOid) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral(
        "select d.delimiter, d.header_row, f.file_name, f.file_type, f.body "
        "from P_DATA d join P_FILE f on f.oid = d.file_id where d.project_id = :project"));
    query->ParamAsString(QStringLiteral("project"), projectOid);
    query->Open();
    if (query->Eof())
        return std::nullopt;
    TDataCopy data;
    data.Delimiter = query->Field(QStringLiteral("delimiter"));
    data.HeaderRow = query->Field(QStringLiteral("header_row"));
    data.File.Owner = copyOid;
    data.File.FileName = query->FieldAsString(QStringLiteral("file_name"));
    data.File.FileType = query->FieldAsString(QStringLiteral("file_type"));
    data.File.SetBody(query->AssignFieldAsStream(QStringLiteral("body")));
    query->Close();
    return data;
}

// Runs the save; whatever the database refuses is said with what was not copied.
template <class Save> void saveCopy(const QString& refused, Save save) {
    try {
        save();
    } catch (const EDatabaseError& e) {
        throw ESaveRefused(refused + SaveRefusedMessage(e.Message()));
    } catch (const EPersistenceError& e) {
        throw ESaveRefused(refused + e.Message());
    }
}

} // namespace

QString CopyName(const QString& name, const QStringList& taken, int maxLength) {
    static const QRegularExpression copied(QStringLiteral("^(.+) 副本(\\d*)$"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = copied.match(name);
    const QString base = match.hasMatch() ? match.captured(1) : name;
    for (int number = 1;; ++number) {
        const QString suffix = copySuffix(number);
        qsizetype keep = base.size();
        if (maxLength > 0 && keep + suffix.size() > maxLength) {
            keep = qMax<qsizetype>(0, maxLength - suffix.size());
            // Cut after a whole character: never between the halves of a surrogate pair.
            if (keep > 0 && base.at(keep - 1).isHighSurrogate())
                --keep;
        }
        const QString candidate = base.left(keep) + suffix;
        if (!taken.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
}

TPrintItem* DuplicateItem(const TPrintItem& item, TFileMgr& files) {
    TProject* project = item.Project();
    if (!project)
        throw ESaveRefused(
            QStringLiteral("打印项 \"%1\" 不属于任何项目，无法复制").arg(item.ItemName()));
    QStringList names;
    for (int i = 0; i < project->ItemList()->Count(); ++i)
        names << project->ItemList()->Items(i)->ItemName();

    auto copy = std::make_unique<TPrintItem>();
    CopyPublishedProps(item, *copy);
    copy->SetItemName(
        CopyName(item.ItemName(), names,
                 ColumnLength(TPrintItem::StaticClass(), QStringLiteral("ItemName"))));
    // The row's project_id; the copy joins the list once it is stored.
    copy->SetOwner(project);
    copy->SetDirty(true);
    saveCopy(
        QStringLiteral("打印项 \"%1\" 没有复制，数据库中没有留下任何部分。\n").arg(item.ItemName()),
        [&] {
            const std::unique_ptr<TCFile> picture = copyPicture(item, *copy, files);
            PersistenceManager().SaveObject(*copy, [&](TWriteSession& writes) {
                if (picture)
                    insertFile(writes, *picture);
            });
        });
    TPrintItem* added = copy.release();
    project->ItemList()->Add(added);
    return added;
}

TProject* DuplicateProject(TProject& project, TSettingMgr& settings, TFileMgr& files) {
    const QString refused = QStringLiteral("项目 \"%1\" 没有复制，数据库中没有留下任何部分。\n")
                                .arg(project.ProjectName());
    TProjectList* projects = settings.ProjectList();
    QStringList names;
    for (int i = 0; i < projects->Count(); ++i)
        names << projects->Items(i)->ProjectName();

    auto copy = std::make_unique<TProject>();
    saveCopy(refused, [&] {
        // Another station may have printed since the project was read.
        if (!settings.ReadSerialStart(project))
            throw ESaveRefused(refused +
                               QStringLiteral("它已不在数据库中，可能已被另一个工作站删除。"));
        CopyPublishedProps(project, *copy);
        copy->SetProjectName(
            CopyName(project.ProjectName(), names,
                     ColumnLength(TProject::StaticClass(), QStringLiteral("ProjectName"))));
        copy->SetDirty(true);
        std::vector<std::unique_ptr<TCFile>> pictures;
        for (int i = 0; i < project.ItemList()->Count(); ++i) {
            const TPrintItem& item = *project.ItemList()->Items(i);
            auto* itemCopy = new TPrintItem;
            CopyPublishedProps(item, *itemCopy);
            copy->ItemList()->Add(itemCopy);
            itemCopy->SetDirty(true);
            if (auto picture = copyPicture(item, *itemCopy, files))
                pictures.push_back(std::move(picture));
        }
        const std::optional<TDataCopy> data = copyData(project.OID(), copy->OID());
        PersistenceManager().SaveObject(*copy, [&](TWriteSession& writes) {
            for (const auto& picture : pictures)
                insertFile(writes, *picture);
            if (!data)
                return;
            insertFile(writes, data->File);
            execute(
                writes,
                QStringLiteral("insert into P_DATA (project_id, file_id, delimiter, header_row) "
                               "values (:project, :file, :delimiter, :header)"),
                {{QStringLiteral("project"), copy->OID()},
                 {QStringLiteral("file"), data->File.Oid},
                 {QStringLiteral("delimiter"), data->Delimiter},
                 {QStringLiteral("header"), data->HeaderRow}});
        });
    });
    TProject* added = copy.release();
    projects->Add(added);
    return added;
}
