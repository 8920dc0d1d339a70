#include "cli/Arguments.h"

#include "schedule/Calendar.h"

#include <QRegularExpression>
#include <array>

namespace kestrion::cli {

namespace {

const OptionSpec* findOption(const CommandSpec& syntax, const QString& name) {
    for (const OptionSpec& option : syntax.options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

std::variant<ParsedArguments, UsageError> parseArguments(const CommandSpec& syntax, const QStringList& args) {
    ParsedArguments parsed;
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        parsed.help = true;
        return parsed;
    }
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QStringLiteral("-")) {
            parsed.arguments.append(arg);
            continue;
        }
        if (arg == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = arg.startsWith(QStringLiteral("--")) ? arg.indexOf(QLatin1Char('=')) : -1;
        const QString name = equals < 0 ? arg : arg.left(equals);
        const OptionSpec* option = findOption(syntax, name);
        if (!option)
            return UsageError{QStringLiteral("unknown option ") + quoted(name)};
        if (option->valueName.isEmpty()) {
            if (equals >= 0)
                return UsageError{quoted(name) + QStringLiteral(" takes no value")};
            parsed.switches.append(name);
            continue;
        }
        QString value;
        if (equals >= 0) {
            value = arg.mid(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return UsageError{quoted(name) + QStringLiteral(" needs a value (") + option->valueName +
                              QLatin1Char(')')};
        }
        if (parsed.values.contains(name))
            return UsageError{quoted(name) + QStringLiteral(" is given twice")};
        parsed.values.insert(name, value);
    }
    if (parsed.arguments.size() < syntax.minArguments)
        return UsageError{QStringLiteral("missing argument; usage: ") + syntax.name + QLatin1Char(' ') +
                          syntax.synopsis};
    if (parsed.arguments.size() > syntax.maxArguments)
        return UsageError{QStringLiteral("unexpected argument ") +
                          quoted(parsed.arguments[syntax.maxArguments])};
    return parsed;
}

QString commandHelp(const CommandSpec& syntax) {
    QString text = QStringLiteral("Usage: kestrion-cli ") + syntax.name;
    if (!syntax.synopsis.isEmpty())
        text += QLatin1Char(' ') + syntax.synopsis;
    text += QStringLiteral("\n\n") + syntax.summary + QLatin1Char('\n');
    if (!syntax.details.isEmpty())
        text += QLatin1Char('\n') + syntax.details + QLatin1Char('\n');
    return text;
}

std::optional<int> wholeNumber(const QString& text, int lowest, int highest) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

std::optional<UsageError> savedRangeBoundsError(const QString& text) {
    const auto parsed = sweep::parseRange(text);
    if (const auto* error = std::get_if<sweep::RangeError>(&parsed);
        error && error->kind == sweep::RangeError::Kind::Bounds)
        return UsageError{error->message};
    return std::nullopt;
}

std::variant<SweepRange, UsageError> sweepRange(const QString& text) {
    auto parsed = sweep::parseRange(text);
    if (const auto* error = std::get_if<sweep::RangeError>(&parsed))
        return UsageError{error->message};
    return std::get<SweepRange>(std::move(parsed));
}

std::optional<QDateTime> scheduleTime(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime typed = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!typed.isValid())
        return std::nullopt;
    // fromString moves a minute the clock skips on by the gap; it does not exist, so it is refused.
    return schedule::localMinute(QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd")),
                                 QTime::fromString(text.mid(11), QStringLiteral("HH:mm")));
}

} // namespace kestrion::cli
