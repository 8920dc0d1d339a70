#include "cli/Records.h"

#include <algorithm>

namespace kestrion::cli {

namespace {

struct FormatName {
    OutputFormat format;
    const char* name;
};
constexpr FormatName kFormats[] = {{OutputFormat::Table, "table"},
                                   {OutputFormat::Tsv, "tsv"},
                                   {OutputFormat::Csv, "csv"},
                                   {OutputFormat::Json, "json"}};

QString nameOf(OutputFormat format) {
    for (const FormatName& known : kFormats) {
        if (known.format == format)
            return QString::fromLatin1(known.name);
    }
    return {};
}

// The value as plain text: TSV, CSV and the table. `nullText` stands for no value.
QString plainText(const Value& value, const QString& nullText) {
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* number = std::get_if<int64_t>(&value))
        return QString::number(*number);
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag ? QStringLiteral("yes") : QStringLiteral("no");
    return nullText;
}

QString jsonValue(const Value& value) {
    if (const auto* text = std::get_if<QString>(&value))
        return jsonString(*text);
    if (const auto* number = std::get_if<int64_t>(&value))
        return QString::number(*number);
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag ? QStringLiteral("true") : QStringLiteral("false");
    return QStringLiteral("null");
}

// A tab or a line break inside a field would split the line; none of the stored texts holds one, but a
// host name comes from the network.
QString tsvField(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

OptionSpec formatOption() {
    return {QStringLiteral("--format"), QStringLiteral("FORMAT")};
}

QString formatHelp(OutputFormat fallback) {
    return QStringLiteral("  --format FORMAT table, tsv, csv or json (one object a line); default: ") +
           nameOf(fallback);
}

std::variant<OutputFormat, UsageError> outputFormat(const ParsedArguments& args, OutputFormat fallback) {
    if (!args.values.contains(QStringLiteral("--format")))
        return fallback;
    const QString given = args.values.value(QStringLiteral("--format"));
    for (const FormatName& known : kFormats) {
        if (given == QLatin1String(known.name))
            return known.format;
    }
    return UsageError{QStringLiteral("--format: '") + given +
                      QStringLiteral("' is not one of table, tsv, csv, json")};
}

RecordWriter::RecordWriter(std::ostream& out, OutputFormat format, QList<Field> fields)
    : out_(out), format_(format), fields_(std::move(fields)) {}

void RecordWriter::writeLine(const QString& line) {
    out_ << line.toUtf8().constData() << '\n';
}

void RecordWriter::writeCsvHeading() {
    if (headingWritten_)
        return;
    QStringList names;
    for (const Field& field : fields_)
        names << csvField(field.name);
    writeLine(names.join(QLatin1Char(',')));
    headingWritten_ = true;
}

void RecordWriter::write(const std::vector<Value>& record) {
    QStringList parts;
    switch (format_) {
    case OutputFormat::Table:
        for (const Value& value : record)
            parts << plainText(value, QStringLiteral("-"));
        table_.push_back(parts);
        return;
    case OutputFormat::Tsv:
        for (const Value& value : record)
            parts << tsvField(plainText(value, QString()));
        writeLine(parts.join(QLatin1Char('\t')));
        break;
    case OutputFormat::Csv:
        writeCsvHeading();
        for (const Value& value : record)
            parts << csvField(plainText(value, QString()));
        writeLine(parts.join(QLatin1Char(',')));
        break;
    case OutputFormat::Json:
        for (qsizetype i = 0; i < fields_.size() && i < static_cast<qsizetype>(record.size()); ++i)
            parts << jsonString(fields_[i].name) + QLatin1Char(':') + jsonValue(record[i]);
        writeLine(QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}'));
        break;
    }
    // Written as it comes: a sweep's records are read by scripts while it goes on.
    out_.flush();
}

void RecordWriter::finish() {
    // A CSV reader is told the fields even when there is no record.
    if (format_ == OutputFormat::Csv)
        writeCsvHeading();
    if (format_ == OutputFormat::Table && !table_.empty()) {
        std::vector<qsizetype> widths(static_cast<size_t>(fields_.size()), 0);
        for (qsizetype i = 0; i < fields_.size(); ++i)
            widths[static_cast<size_t>(i)] = fields_[i].heading.size();
        for (const QStringList& row : table_) {
            for (qsizetype i = 0; i < row.size() && i < fields_.size(); ++i)
                widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], row[i].size());
        }
        const auto line = [&](const QStringList& cells) {
            QString text;
            for (qsizetype i = 0; i < cells.size() && i < fields_.size(); ++i) {
                const bool last = i + 1 == cells.size() || i + 1 == fields_.size();
                text += last ? cells[i] : cells[i].leftJustified(widths[static_cast<size_t>(i)] + 2);
            }
            writeLine(text);
        };
        QStringList headings;
        for (const Field& field : fields_)
            headings << field.heading;
        line(headings);
        for (const QStringList& row : table_)
            line(row);
        table_.clear();
    }
    out_.flush();
}

QString jsonString(const QString& text) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            quoted += QStringLiteral("\\\"");
            break;
        case '\\':
            quoted += QStringLiteral("\\\\");
            break;
        case '\n':
            quoted += QStringLiteral("\\n");
            break;
        case '\r':
            quoted += QStringLiteral("\\r");
            break;
        case '\t':
            quoted += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace kestrion::cli
