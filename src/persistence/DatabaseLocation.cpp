#include "persistence/DatabaseLocation.h"

#include "persistence/PersistenceManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kUserName = QStringLiteral("SYSDBA");
const QString kPassword = QStringLiteral("pinecrest");

// Larger than any settings file; a device or a mistaken file is not read whole.
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

// kova.ini as text, or an exception naming it: a file that is there but cannot be
// read as ours must stop the program, or a station would silently use another
// database. Opened without blocking and checked on the open file, so that a FIFO or
// a device put in its place is refused, not waited on or read without end.
QString readSettingsText(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Exception(QStringLiteral("设置文件 %1 无法读取：%2")
                            .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    QByteArray bytes;
    if (regular && st.st_size <= kMaxSettingsBytes) {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw Exception(
                QStringLiteral("设置文件 %1 无法读取：%2").arg(path, file.errorString()));
        }
        bytes = file.read(kMaxSettingsBytes + 1);
    } else {
        ::close(fd);
    }
    if (!regular)
        throw Exception(QStringLiteral("设置文件 %1 不是普通文件，无法读取").arg(path));
    if (st.st_size > kMaxSettingsBytes || bytes.size() > kMaxSettingsBytes)
        throw Exception(
            QStringLiteral("设置文件 %1 太大（超过 64 KB），不是 KOVA 的设置文件").arg(path));
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar(0)))
        throw Exception(
            QStringLiteral("设置文件 %1 不是 UTF-8 文本，无法读取；请把它另存为 UTF-8 编码")
                .arg(path));
    return text;
}

// The [Database] section of kova.ini, keys in lower case. Our own small reader:
// QSettings would turn a password with a comma into a list.
QHash<QString, QString> readSettingsFile(const QString& path) {
    QHash<QString, QString> values;
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT)
        return values;
    QString text = readSettingsText(path);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const auto fault = [&](int line, const QString& what) {
        return Exception(QStringLiteral("设置文件 %1 第 %2 行：%3").arg(path).arg(line).arg(what));
    };
    static const QStringList known{QStringLiteral("location"), QStringLiteral("user"),
                                   QStringLiteral("password")};
    bool inDatabase = false;
    bool sectionFound = false;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inDatabase = line.mid(1, line.size() - 2)
                             .trimmed()
                             .compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0;
            sectionFound = sectionFound || inDatabase;
            continue;
        }
        if (!inDatabase)
            continue; // other sections are not ours to judge
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw fault(i + 1, QStringLiteral("应为 键 = 值"));
        const QString key = line.left(eq).trimmed().toLower();
        if (!known.contains(key))
            throw fault(i + 1,
                        QStringLiteral("不认识的设置 \"%1\"（可用：Location、User、Password）")
                            .arg(line.left(eq).trimmed()));
        QString value = line.mid(eq + 1).trimmed();
        // Quotes keep blanks at either end of a password.
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        values.insert(key, value);
    }
    if (!sectionFound)
        throw Exception(QStringLiteral("设置文件 %1 中没有 [Database] 一节；数据库的设置写在 "
                                       "[Database] 下（Location、User、Password）")
                            .arg(path));
    return values;
}

QString fileFrom(const QString& location, const QString& baseDir) {
    if (IsServerLocation(location))
        return location;
    return QDir(baseDir).absoluteFilePath(location);
}

} // namespace

bool IsServerLocation(const QString& location) {
    return !location.startsWith(QLatin1Char('/')) && location.contains(QLatin1Char(':'));
}

QString InstalledPrefix(const QString& programDir) {
    QDir dir(programDir);
    if (dir.dirName() != QLatin1String("bin") || !dir.cdUp())
        return QString();
    // The engine configuration is what every installed copy needs; a bare bin/
    // folder (a build's, a copy unpacked anywhere) is a copy of its own.
    if (!QFileInfo::exists(dir.filePath(QStringLiteral("share/kova/firebird/firebird.conf"))))
        return QString();
    return dir.absolutePath();
}

namespace {

// /etc and /var for the system's own prefix, as Debian lays them out; below the
// prefix for any other.
QString systemFolder(const QString& prefix, const QString& folder) {
    if (prefix == QLatin1String("/usr"))
        return QLatin1Char('/') + folder;
    return prefix + QLatin1Char('/') + folder;
}

} // namespace

QString ProgramDataDir(const QString& programDir) {
    const QString prefix = InstalledPrefix(programDir);
    return prefix.isEmpty() ? QDir(programDir).absolutePath()
                            : prefix + QStringLiteral("/share/kova");
}

QString SettingsFilePath(const QString& programDir) {
    const QString prefix = InstalledPrefix(programDir);
    if (prefix.isEmpty())
        return QDir(programDir).absoluteFilePath(QStringLiteral("kova.ini"));
    return systemFolder(prefix, QStringLiteral("etc/kova/kova.ini"));
}

QString DefaultDatabasePath(const QString& programDir) {
    const QString prefix = InstalledPrefix(programDir);
    if (prefix.isEmpty())
        return QDir(programDir).absoluteFilePath(QStringLiteral("data/KOVAUTF8.FDB"));
    return systemFolder(prefix, QStringLiteral("var/lib/kova/KOVAUTF8.FDB"));
}

TDatabaseLocation ResolveDatabaseLocation(const QString& programDir, const QString& given) {
    const QString iniPath = SettingsFilePath(programDir);
    const QHash<QString, QString> ini = readSettingsFile(iniPath);
    const QString fromEnv = qEnvironmentVariable("KOVA_DATABASE");

    TDatabaseLocation location;
    if (!given.isEmpty()) {
        location.Name = fileFrom(given, QDir::currentPath());
        location.Origin = QStringLiteral("--database");
    } else if (!fromEnv.isEmpty()) {
        location.Name = fileFrom(fromEnv, QDir::currentPath());
        location.Origin = QStringLiteral("the environment variable KOVA_DATABASE");
    } else if (!ini.value(QStringLiteral("location")).isEmpty()) {
        location.Name =
            fileFrom(ini.value(QStringLiteral("location")), QFileInfo(iniPath).absolutePath());
        location.Origin = iniPath;
    } else {
        location.Name = DefaultDatabasePath(programDir);
    }

    const auto pick = [&](const char* variable, const QString& key, const QString& fixed) {
        const QString fromEnv = qEnvironmentVariable(variable);
        if (!fromEnv.isEmpty())
            return fromEnv;
        return ini.value(key).isEmpty() ? fixed : ini.value(key);
    };
    location.UserName = pick("KOVA_DATABASE_USER", QStringLiteral("user"), kUserName);
    location.Password = pick("KOVA_DATABASE_PASSWORD", QStringLiteral("password"), kPassword);
    return location;
}

void ConnectToDatabase(const TDatabaseLocation& location) {
    try {
        PersistenceManager().ConnectDatabase(location.Name, location.UserName, location.Password,
                                             QString(), QStringLiteral("FBAPI"));
    } catch (const EPersistenceError& e) {
        if (location.Origin.isEmpty())
            throw;
        throw EPersistenceError(
            e.Message() + QStringLiteral("\n\nThe location was set by %1.").arg(location.Origin));
    }
}
