#pragma once

#include "sweep/EntryValue.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>

// Adversarial texts for the address boxes, and what each must come to, worked out apart from the
// program's code: std::from_chars in its fixed format reads the number a text starts with (it stops
// where the number stops, as the boxes' reading does) and anything beyond a double's range is settled
// by where the first significant digit lies.
namespace kestrion::test::entry {

// The value a box accepts for this text, or nothing when the box must show its message.
inline std::optional<double> expectedValue(const QString& text, double lowerBound) {
    const std::string bytes = text.toStdString();
    std::string_view rest(bytes);
    rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t")));
    const bool negative = !rest.empty() && rest.front() == '-';
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+'))
        rest.remove_prefix(1);
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    // from_chars also reads "inf" and "nan"; the boxes read only digits and a point.
    const bool number = !rest.empty() && (isDigit(rest.front()) ||
                                          (rest.size() > 1 && rest.front() == '.' && isDigit(rest[1])));
    double value = 0;
    if (number) {
        const auto read =
            std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::fixed);
        if (read.ec == std::errc::result_out_of_range) {
            const std::string_view whole = rest.substr(0, rest.find_first_not_of("0123456789"));
            value = whole.find_first_not_of('0') != std::string_view::npos ? HUGE_VAL : 0.0;
        }
    }
    if (negative)
        value = -value;
    if (value < lowerBound || value > 254)
        return std::nullopt;
    return value;
}

// A text shown in a failure message: control characters escaped, long runs cut.
inline std::string printable(const QString& text) {
    std::string out;
    for (qsizetype i = 0; i < text.size() && out.size() < 120; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0x7f)
            out += static_cast<char>(c);
        else
            out += "\\u" + std::to_string(c);
    }
    return out + (text.size() > 40 ? " ... (" + std::to_string(text.size()) + " chars)" : "");
}

class TextGenerator {
public:
    explicit TextGenerator(uint32_t seed) : rng_(seed) {}

    // One text from a generator chosen at random; now and then two joined.
    QString next() {
        QString text = one();
        if (chance(8))
            text += one();
        return text;
    }

private:
    QString one() {
        switch (between(0, 11)) {
        case 0:
            return digitRun(between(0, 1) ? 1 : 0, logLength(25, 6000));
        case 1:
            return QString(logLength(0, 6000), QLatin1Char('0')) + QString::number(between(0, 300));
        case 2:
            return stem() + QString(logLength(1, 12000), QLatin1Char('.'));
        case 3:
            return blanks() + stem() + blanks();
        case 4:
            return signs() + stem();
        case 5:
            return exponent();
        case 6:
            return controls();
        case 7:
            return pastedLine();
        case 8:
        case 9:
            return decimal();
        case 10:
            return boundary();
        default:
            return unicodeNoise();
        }
    }

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(int oneIn) { return between(1, oneIn) == 1; }
    // Lengths spread evenly over their orders of magnitude, so short and huge texts both come often.
    int logLength(int low, int high) {
        const double x =
            std::uniform_real_distribution<double>(std::log(low + 1.0), std::log(high + 1.0))(rng_);
        return static_cast<int>(std::exp(x)) - 1;
    }
    QString digitRun(int firstNonZero, int length) {
        QString s;
        for (int i = 0; i < length; ++i)
            s += QLatin1Char(
                static_cast<char>('0' + (i == 0 && firstNonZero ? between(1, 9) : between(0, 9))));
        return s;
    }
    QString stem() {
        static const char* const stems[] = {"",    "5",  "12",  "254",   "255", "0",
                                            "abc", "-1", "7.5", "1.2.3", "x"};
        return QLatin1String(stems[between(0, std::size(stems) - 1)]);
    }
    QString blanks() {
        static const char16_t kinds[] = {u' ', u'\t', u'\n', u'\r', u'\v', u'\u00a0', u'\u3000', u'\u2028'};
        QString s;
        for (int i = between(0, 40); i > 0; --i)
            s += QChar(kinds[between(0, std::size(kinds) - 1)]);
        return s;
    }
    QString signs() {
        QString s;
        for (int i = between(1, 4); i > 0; --i)
            s += QLatin1Char(between(0, 1) ? '+' : '-');
        return s;
    }
    QString exponent() {
        static const char* const words[] = {"inf", "-inf", "nan",  "Infinity", "0x1f",
                                            "1e",  "1e+",  "1E-3", "2e2"};
        if (chance(3))
            return QLatin1String(words[between(0, std::size(words) - 1)]);
        return QString::number(between(0, 300)) + QLatin1Char(between(0, 1) ? 'e' : 'E') +
               (between(0, 1) ? QStringLiteral("-") : QStringLiteral("+")) + digitRun(1, logLength(1, 400));
    }
    QString controls() {
        QString s;
        for (int i = between(1, 30); i > 0; --i)
            s += chance(2) ? QChar(static_cast<char16_t>(chance(10) ? 0x7f : between(0, 31)))
                           : QChar(static_cast<char16_t>('0' + between(0, 9)));
        return s;
    }
    QString pastedLine() {
        static const char* const lines[] = {
            "10.1.2.3 - 10.1.2.50 printers on the second floor",
            "ping 192.168.1.1",
            "192.168.001.010\tfileserver\n",
            "127.0.0.1 localhost",
            "  42 hosts answered in 3.2 seconds",
        };
        if (chance(2))
            return QLatin1String(lines[between(0, std::size(lines) - 1)]);
        QString s;
        while (s.size() < logLength(20, 3000))
            s += QString::number(between(0, 999)) + QLatin1Char(between(0, 2) ? ' ' : '.') +
                 QStringLiteral("word ");
        return s;
    }
    QString decimal() {
        QString s = QString(between(0, 3), QLatin1Char(' '));
        if (chance(6))
            s += QLatin1Char(between(0, 1) ? '-' : '+');
        s += QString(between(0, 2), QLatin1Char('0')) + QString::number(between(-20, 300));
        if (chance(2))
            s += QLatin1Char('.') + digitRun(0, between(0, 30));
        if (chance(5))
            s += QStringLiteral("abc");
        return s;
    }
    QString boundary() {
        static const char* const values[] = {
            "254", "254.0", "254.5",   "254.4999", "254.0000001", "0.5",  "0.4", "1",
            "0",   "-0",    "-0.4",    "0.00001",  "253.5",       ".5",   "5.",  "-",
            "+",   ".",     "1.5e-05", "1e-05",    "00254",       "0255", "1.",  "  1"};
        return QLatin1String(values[between(0, std::size(values) - 1)]);
    }
    QString unicodeNoise() {
        QString s;
        for (int i = logLength(1, 200); i > 0; --i) {
            switch (between(0, 3)) {
            case 0:
                s += QChar(static_cast<char16_t>(0x0660 + between(0, 9)));
                break; // Arabic-Indic digits
            case 1:
                s += QChar(static_cast<char16_t>(0xff10 + between(0, 9)));
                break; // full-width digits
            case 2:
                s += QChar(static_cast<char16_t>(between(0xd800, 0xdfff)));
                break; // lone surrogates
            default:
                s += QChar(static_cast<char16_t>(between(0x20, 0x2fff)));
            }
        }
        return s;
    }

    std::mt19937 rng_;
};

} // namespace kestrion::test::entry
