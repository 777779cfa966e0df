#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;
class TQuery;

// Formats SaveImage writes, by their stored numbers.
enum TImageFileFormat {
    iffBmp = 0,
    iffPng = 1,
    iffJpeg = 2,
    iffGif = 3,
    iffTiff = 4,
    iffHdPhoto = 5,
    iffOther = 6
};

// General helpers nothing else in the program depends on; no state survives a call.
//
// SendEMail and BrowseDialog show windows, so they are built into the widget layer
// (view/CliUtilsWidgets.cpp, library kova_views) while the rest stays in the core
// library, which never pulls in Qt Widgets. Code that links only the core library
// can use everything here but those two.
class TCliUtils {
public:
    // Blowfish (ECB) under a 16-byte digest of the key, Base64 text.
    static QString Encode(const QString& key, const QString& value);
    // Throws Exception("Invalid file format") for a ciphertext Encode cannot have made.
    static QString Decode(const QString& key, const QString& value);
    // SHA-1 of the UTF-16LE bytes, 40 upper-case hex digits.
    static QString EncodePassword(const QString& Pas);
    static QString ExtractFileNameNoExt(const QString& FileString);
    // prefix + today as yyyy-MM-dd + "-" + sno with at least four digits.
    static QString GenerateNo(int sno, const QString& prefix);
    // Rescales to width pixels wide, keeping the proportions, and saves in format
    // (a TImageFileFormat). Every failure gives false and leaves ImgSavePath as it was.
    static bool SaveImage(const QString& ImgLoadPath, const QString& ImgSavePath, int format,
                          int width);
    // Mail is name=value lines: to, subject, body, attachment0..n. Returns 0 when the
    // message reached the mail client, otherwise xdg-email's failure code.
    static int SendEMail(QWidget* Handle, const QStringList& Mail);
    // True when the user chose a folder (returned in Directory, empty otherwise).
    static bool BrowseDialog(const QString& Caption, const QString& Root, QString& Directory,
                             const QString& InitDir);
    // Splits at every delimiter, empty pieces kept; the empty text is one empty piece.
    static void ParseDelimited(QStringList& sl, const QString& value, const QString& delimiter);
    // One statement in its own committed transaction. The rows of a select stay
    // readable on the returned query after its connection went back to the pool.
    static std::unique_ptr<TQuery> RunSql(const QString& sql);
};
