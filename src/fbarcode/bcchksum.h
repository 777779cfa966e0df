#pragma once

#include <QString>

// Check digits of the linear symbologies. Each function throws EConvertError
// "'c' is not a valid integer value" for a character that is not a digit,
// except CheckSumPostnet, which takes any character as its code minus 48.

// GS1 modulo 10: weights 3 and 1 alternating from the right. Returns text + digit.
QString CheckSumModulo10(const QString& text);
// Modulo 10 of the plain digit sum. Returns text + digit.
QString CheckSumPostnet(const QString& text);
// MSI modulo 10: the digits at odd positions from the right form a number that is
// doubled; its digit sum plus the other digits gives the check digit.
int CheckDigitMSI(const QString& digits);
// Five-digit add-on: weights 3, 9, 3, 9, 3 from the left, sum mod 10.
int CheckDigitSupp5(const QString& digits);
// The eleven digits of the UPC-A number that a six-digit UPC-E body stands for
// (number system first, no check digit).
QString UPCEtoUPCA(QChar numberSystem, const QString& six);
