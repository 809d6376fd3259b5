#include "core/record/RecordExport.h"

#include "core/record/BoardRows.h"
#include "core/record/LocalIsoTime.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <charconv>

namespace quorvane::record {

namespace {

constexpr qsizetype kChunk = 64 * 1024;

enum class Kind {
    Text,
    Int,     // read into an int, as the board's fields hold it
    Long,    // a size
    Crc,     // 8 hex digits
    Time,    // ms since the epoch, written in local time
    Elapsed, // from the claim to the finish, -1 when not finished
    Outcome, // one of the known outcomes, an unknown one in progress
};

struct Column {
    const char* name;
    Kind kind;
};

// The columns of BoardColumnList() in its order.
constexpr Column kColumns[] = {
    {"id", Kind::Text},
    {"station", Kind::Text},
    {"folder", Kind::Text},
    {"router_address", Kind::Text},
    {"router_port", Kind::Int},
    {"label", Kind::Text},
    {"base_mac", Kind::Text},
    {"model_mac", Kind::Text},
    {"wan_mac", Kind::Text},
    {"model_code", Kind::Int},
    {"model_name", Kind::Text},
    {"selection", Kind::Int},
    {"bootloader_name", Kind::Text},
    {"bootloader_size", Kind::Long},
    {"bootloader_crc", Kind::Crc},
    {"root_name", Kind::Text},
    {"root_size", Kind::Long},
    {"root_crc", Kind::Crc},
    {"config_name", Kind::Text},
    {"config_size", Kind::Long},
    {"config_crc", Kind::Crc},
    {"claimed_at", Kind::Time},
    {"scanned_at", Kind::Time},
    {"built_at", Kind::Time},
    {"transferred_at", Kind::Time},
    {"finished_at", Kind::Time},
    {"elapsed_ms", Kind::Elapsed},
    {"outcome", Kind::Outcome},
    {"refetches", Kind::Int},
    {"reburn", Kind::Text},
};
constexpr int kClaimed = 21;
constexpr int kFinished = 25;

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

qint64 Number(const Cell& cell) {
    switch (cell.type) {
    case Cell::Integer:
        return cell.integer;
    case Cell::Ascii:
        return QVariant(QString::fromLatin1(cell.text)).toLongLong();
    case Cell::Other:
        break;
    }
    return cell.other.toLongLong();
}

QByteArrayView Text(const Cell& cell, QByteArray& scratch) {
    switch (cell.type) {
    case Cell::Integer:
        scratch = QByteArray::number(cell.integer);
        return scratch;
    case Cell::Ascii:
        return cell.text;
    case Cell::Other:
        break;
    }
    scratch = cell.other.toString().toUtf8();
    return scratch;
}

QByteArrayView OutcomeName(const Cell& cell) {
    static const auto kNames = [] {
        std::array<QByteArray, static_cast<int>(Outcome::Prepared) + 1> names;
        for (std::size_t i = 0; i < names.size(); ++i)
            names[i] = OutcomeText(static_cast<Outcome>(i)).toLatin1();
        return names;
    }();
    if (cell.type == Cell::Ascii) {
        for (const QByteArray& name : kNames) {
            if (cell.text == name)
                return name;
        }
    } else if (cell.type == Cell::Other) {
        if (const auto outcome = OutcomeFromText(cell.other.toString()))
            return kNames[static_cast<std::size_t>(*outcome)];
    }
    return kNames[static_cast<std::size_t>(Outcome::InProgress)];
}

void AppendCsv(QByteArray& out, QByteArrayView text) {
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::none_of(text.begin(), text.end(), special)) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// RFC 8259: quote and backslash escaped, control characters as \u00XX.
void AppendJsonString(QByteArray& out, QByteArrayView text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            const char escaped[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 15]};
            out.append(escaped, sizeof escaped);
        } else {
            out += c;
        }
    }
    out += '"';
}

// One row into out: each column as text, or as a number (Json only), or
// absent (a time not yet: empty in CSV, null in JSON).
class RowWriter {
public:
    explicit RowWriter(ExportFormat format) : m_json(format == ExportFormat::Json) {}

    void write(BoardRows& rows, QByteArray& out) {
        if (m_json)
            out += '{';
        for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
            if (i > 0)
                out += ',';
            if (m_json) {
                out += '"';
                out += kColumns[i].name;
                out += "\":";
            }
            value(rows, i, out);
        }
        out += m_json ? QByteArrayView("}\n") : QByteArrayView("\r\n");
    }

private:
    void value(BoardRows& rows, int i, QByteArray& out) {
        const Cell cell = rows.cell(i);
        switch (kColumns[i].kind) {
        case Kind::Text:
            return text(Text(cell, m_scratch), out);
        case Kind::Int:
            return number(static_cast<int>(Number(cell)), out);
        case Kind::Long:
            return number(Number(cell), out);
        case Kind::Elapsed: {
            const qint64 finished = Number(rows.cell(kFinished));
            return number(finished > 0 ? finished - Number(rows.cell(kClaimed)) : -1, out);
        }
        case Kind::Crc: {
            char digits[8];
            const auto crc = static_cast<std::uint32_t>(Number(cell));
            const auto size = std::to_chars(digits, digits + 8, crc, 16).ptr - digits;
            char hex[8] = {'0', '0', '0', '0', '0', '0', '0', '0'};
            std::copy_n(digits, size, hex + 8 - size);
            return text(QByteArrayView(hex, 8), out);
        }
        case Kind::Outcome:
            return text(OutcomeName(cell), out);
        case Kind::Time: {
            const qsizetype before = out.size();
            if (m_json)
                out += '"';
            m_times.append(out, Number(cell));
            if (!m_json)
                return;
            if (out.size() == before + 1)
                out.replace(before, 1, "null");
            else
                out += '"';
            return;
        }
        }
    }
    void text(QByteArrayView value, QByteArray& out) {
        if (m_json)
            AppendJsonString(out, value);
        else
            AppendCsv(out, value);
    }
    static void number(qint64 value, QByteArray& out) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    }

    bool m_json;
    LocalIsoTime m_times;
    QByteArray m_scratch;
};

} // namespace

bool ExportBoards(RecordStore& store, const RowFilter& filter, ExportFormat format,
                  const ExportSink& sink, QString* error) {
    const auto rows = OpenBoardRows(store, filter, error);
    if (!rows)
        return false;
    QByteArray out;
    out.reserve(kChunk + 4096);
    if (format == ExportFormat::Csv) {
        for (const Column& column : kColumns) {
            out += column.name;
            out += ',';
        }
        out.back() = '\r';
        out += '\n';
    }
    RowWriter writer(format);
    const auto flush = [&] {
        const bool taken = sink(out);
        out.resize(0);
        return taken || Fail(error, QStringLiteral("the export's reader stopped"));
    };
    while (rows->next()) {
        writer.write(*rows, out);
        if (out.size() >= kChunk && !flush())
            return false;
    }
    // The rows read before an error are written, as they were read.
    const QString readError = rows->error();
    if (!out.isEmpty() && !flush())
        return false;
    return readError.isEmpty() || Fail(error, readError);
}

bool ExportBoards(RecordStore& store, const RowFilter& filter, ExportFormat format, QIODevice& out,
                  QString* error) {
    QString writeError;
    const bool done = ExportBoards(
        store, filter, format,
        [&out, &writeError](QByteArrayView chunk) {
            if (out.write(chunk.data(), chunk.size()) == chunk.size())
                return true;
            writeError = out.errorString();
            return false;
        },
        error);
    return writeError.isEmpty() ? done : Fail(error, writeError);
}

} // namespace quorvane::record
