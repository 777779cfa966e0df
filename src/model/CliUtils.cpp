// Blowfish has moved to OpenSSL 3's legacy provider for the EVP interface; the
// low-level block functions still ship in libcrypto and need no provider.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "model/CliUtils.h"

#include "base/Errors.h"
#include "model/manager/FileMgrImpl.h"
#include "persistence/PersistenceManager.h"

#include <QDate>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <openssl/blowfish.h>
#include <openssl/evp.h>

namespace {

constexpr int BlockSize = 8;

QByteArray utf16leBytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QString fromUtf16le(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8))));
    return text;
}

QByteArray digest(const EVP_MD* md, const QByteArray& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!md || !EVP_Digest(data.constData(), size_t(data.size()), out, &size, md, nullptr))
        throw Exception(QStringLiteral("The message digest is not available"));
    return QByteArray(reinterpret_cast<const char*>(out), int(size));
}

BF_KEY blowfishKey(const QString& key) {
    const QByteArray md5 = digest(EVP_md5(), utf16leBytes(key));
    BF_KEY bf;
    BF_set_key(&bf, int(md5.size()), reinterpret_cast<const unsigned char*>(md5.constData()));
    return bf;
}

void cipherBlock(const BF_KEY& bf, const char* in, char* out, int direction) {
    BF_ecb_encrypt(reinterpret_cast<const unsigned char*>(in),
                   reinterpret_cast<unsigned char*>(out), &bf, direction);
}

[[noreturn]] void invalidFormat() {
    throw Exception(QStringLiteral("Invalid file format"));
}

} // namespace

QString TCliUtils::Encode(const QString& key, const QString& value) {
    const BF_KEY bf = blowfishKey(key);
    const QByteArray plain = utf16leBytes(value);
    const qsizetype full = plain.size() / BlockSize * BlockSize;
    QByteArray cipher(full + BlockSize, '\0');
    for (qsizetype i = 0; i < full; i += BlockSize)
        cipherBlock(bf, plain.constData() + i, cipher.data() + i, BF_ENCRYPT);
    // The last block is always there: the 0..7 bytes left over, zero-filled, with
    // their count in byte 7.
    char last[BlockSize] = {};
    const qsizetype rest = plain.size() - full;
    std::copy(plain.constData() + full, plain.constData() + plain.size(), last);
    last[BlockSize - 1] = char(rest);
    cipherBlock(bf, last, cipher.data() + full, BF_ENCRYPT);
    return QString::fromLatin1(cipher.toBase64());
}

QString TCliUtils::Decode(const QString& key, const QString& value) {
    const auto decoded =
        QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray& cipher = decoded.decoded;
    if (!decoded || cipher.isEmpty() || cipher.size() % BlockSize != 0)
        invalidFormat();
    const BF_KEY bf = blowfishKey(key);
    QByteArray plain(cipher.size(), '\0');
    for (qsizetype i = 0; i < cipher.size(); i += BlockSize)
        cipherBlock(bf, cipher.constData() + i, plain.data() + i, BF_DECRYPT);
    // A count above 7 (or an odd byte count) means the data or the key is wrong;
    // trusting it would read past the block.
    const int rest = uchar(plain.at(plain.size() - 1));
    const qsizetype length = plain.size() - BlockSize + rest;
    if (rest >= BlockSize || length % 2 != 0)
        invalidFormat();
    plain.truncate(length);
    return fromUtf16le(plain);
}

QString TCliUtils::EncodePassword(const QString& Pas) {
    return QString::fromLatin1(digest(EVP_sha1(), utf16leBytes(Pas)).toHex().toUpper());
}

QString TCliUtils::ExtractFileNameNoExt(const QString& FileString) {
    return TFileMgr::ExtractFileNameNoExt(FileString);
}

QString TCliUtils::GenerateNo(int sno, const QString& prefix) {
    return prefix + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('-') +
           QString::asprintf("%.4d", sno);
}

bool TCliUtils::SaveImage(const QString& ImgLoadPath, const QString& ImgSavePath, int format,
                          int width) {
    static constexpr const char* Formats[] = {"bmp", "png", "jpeg", "gif", "tiff"};
    if (format < 0 || format >= int(std::size(Formats)) || width <= 0)
        return false;
    const QByteArray name = Formats[format];
    if (!QImageWriter::supportedImageFormats().contains(name))
        return false;
    QImageReader reader(ImgLoadPath);
    const QImage image = reader.read();
    if (image.isNull() || image.width() <= 0)
        return false;
    const qint64 height = qint64(width) * image.height() / image.width();
    if (height <= 0 || height > std::numeric_limits<int>::max())
        return false;
    const QImage scaled =
        image.scaled(width, int(height), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return false;
    // Written beside the target and renamed over it only when complete.
    QSaveFile file(ImgSavePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, name);
    if (!writer.write(scaled)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void TCliUtils::ParseDelimited(QStringList& sl, const QString& value, const QString& delimiter) {
    // An empty delimiter would split between every character; it leaves the text whole.
    sl = delimiter.isEmpty() ? QStringList{value} : value.split(delimiter, Qt::KeepEmptyParts);
}

std::unique_ptr<TQuery> TCliUtils::RunSql(const QString& sql) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(sql);
    query->Open();
    query->Detach();
    conn->Commit();
    return query;
}
