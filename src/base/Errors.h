#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The program's error class: every failure the user is meant to read carries its
// message here, and the application's error handler shows it in a message box.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// A text that should have been a number, colour or date and is not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Ends the current operation without any message; the error handler ignores it.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// Raised for an input or output operation the platform cannot do.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};
