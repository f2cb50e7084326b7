// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Number <-> text without the C or Qt locale: "." always, whatever the user's region.
namespace numtext {

// General form: up to `precision` significant digits, no trailing zeros, fixed notation
// for magnitudes from 0.00001 with at most `precision` integer digits, else "1.5E-7" /
// "2E20". NaN and infinities come out as "NAN", "INF", "-INF".
QString formatGeneral(long double v, int precision = 15);

// Writes the general form into buf (at least 40 bytes) and returns the length;
// the allocation-free path for data files.
int formatGeneral(char *buf, long double v, int precision = 15);

// Lays out significant digits (no trailing zeros, nd >= 1) with value
// d.ddd x 10^exponent in the general form; returns the length.
int placeDigits(char *buf, bool negative, const char *digits, int nd, int exponent,
                int precision = 15);

// Replaces "." by sep when sep is not ".".
QString withDecSeparator(QString text, const QString &sep);

// Strict parse of a decimal number: optional blanks around it, an optional sign, digits
// with an optional ".", an optional exponent. Nothing else (no "inf", no hex, no ",").
std::optional<long double> parseLongDouble(QStringView text);
std::optional<double> parseDouble(QStringView text);
std::optional<long double> parseLongDouble(const char *begin, const char *end);

// Decimal integer with optional sign and surrounding blanks; fails on overflow.
std::optional<int> parseInt(QStringView text);

// printf-like "%.Nf" without locale.
QString formatFixed(long double v, int decimals);

} // namespace numtext
