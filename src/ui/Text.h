#pragma once

// The one conversion between the core's 8-bit texts (names in config.ini,
// router answers, log lines) and Qt's strings: Latin-1 on Linux, where every
// byte is a character, and the ANSI code page on Windows, where the program's
// files have always been written in it. Qt's "local 8-bit" on Windows is that
// code page.

#include <QString>
#include <QValidator>
#include <string>

namespace corvane {

inline QString ToQString(const std::string& text) {
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
#else
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
#endif
}

// A character the 8-bit set lacks becomes "?"; check with EightBitCanHold first.
inline std::string FromQString(const QString& text) {
#ifdef Q_OS_WIN
    return text.toLocal8Bit().toStdString();
#else
    return text.toLatin1().toStdString();
#endif
}

inline bool EightBitCanHold(const QString& text) {
    return ToQString(FromQString(text)) == text;
}

// Refuses typed or pasted text the 8-bit set cannot hold, so that what is
// saved is what the user sees; the edit's inputRejected tells the user why.
class EightBitValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return EightBitCanHold(input) ? Acceptable : Invalid;
    }
};

}  // namespace corvane
