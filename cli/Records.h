#pragma once

#include "cli/Arguments.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <ostream>
#include <variant>
#include <vector>

namespace kestrion::cli {

// How a command writes its records. Tsv: one line a record, fields joined by tabs, no heading (the
// commands' plain output). Table: aligned columns under a heading, for reading. Csv: a heading of the
// field names, then one line a record, quoted where needed (RFC 4180). Json: one object a line.
enum class OutputFormat { Table, Tsv, Csv, Json };

// --format FORMAT, as every command that writes records takes it.
OptionSpec formatOption();
// The help line of --format, naming the command's default.
QString formatHelp(OutputFormat fallback);
std::variant<OutputFormat, UsageError> outputFormat(const ParsedArguments& args, OutputFormat fallback);

// One field: its name in JSON and CSV, its heading in a table.
struct Field {
    QString name;
    QString heading;
};

// A field's value. Null: no value (JSON null; empty in TSV and CSV; "-" in a table).
struct Null {};
using Value = std::variant<Null, QString, int64_t, bool>;

// Writes records one at a time; a table is held back until finish(), when its widths are known.
class RecordWriter {
public:
    RecordWriter(std::ostream& out, OutputFormat format, QList<Field> fields);
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void write(const std::vector<Value>& record);
    void finish();
    OutputFormat format() const { return format_; }

private:
    void writeLine(const QString& line);
    void writeCsvHeading();

    std::ostream& out_;
    OutputFormat format_;
    QList<Field> fields_;
    bool headingWritten_ = false;
    std::vector<QStringList> table_;
};

// A JSON string literal of `text`, with its quotes.
QString jsonString(const QString& text);
// A CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text);

} // namespace kestrion::cli
