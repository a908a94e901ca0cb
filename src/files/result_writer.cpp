#include "files/result_writer.h"

#include <algorithm>

#include "models/catalogue.h"
#include "records/number_format.h"

namespace quillon {
namespace {

constexpr std::string_view kZentographValue = "<%s>[%d]=%lg\n";
constexpr std::string_view kSerialHeading = "//";  // the serial separator
constexpr std::string_view kSeparators[] = {" ", ",", "\t", "//"};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

bool WantsComment(ResultFormat format, const ResultWriterState& state) {
    return format == ResultFormat::ZentographNormal || state.m_bComment;
}

void AppendZentograph(ResultFileText& out, const ResultColumnList& columns) {
    for (const CResultColumn& column : columns) {
        for (int k = 0; k < column.Count(); ++k) {
            out.text += Sprintf(kZentographValue, column.name, k, column.values[k]);
            ++out.lineCount;
        }
    }
}

void AppendDelimited(ResultFileText& out, const ResultColumnList& columns,
                     std::string_view separator, bool header) {
    if (header) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            out.text += columns[c].name;
            out.text += c + 1 < columns.size() ? separator : "\n";
        }
    }
    int rows = 0;
    for (const CResultColumn& column : columns) {
        rows = std::max(rows, column.Count());
    }
    for (int r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (r < columns[c].Count()) {
                AppendNumber(out.text, columns[c].values[r]);
            }
            out.text += c + 1 < columns.size() ? separator : "\n";
        }
        ++out.lineCount;
    }
}

// The 3-D variant: an x and a y block of grid indices, then the columns as
// z values; every block strides its indices by the number of columns.
void AppendZentograph3D(ResultFileText& out, const ResultColumnList& columns) {
    const int nc = static_cast<int>(columns.size());
    const int np = columns.front().Count();
    for (const char* name : {"x", "y"}) {
        const bool isX = name[0] == 'x';
        for (int i = 0; i < nc; ++i) {
            for (int k = 0; k < np; ++k) {
                const double value = isX ? k : i;
                out.text += Sprintf(kZentographValue, name, i * nc + k, value);
            }
            ++out.lineCount;
        }
    }
    for (int i = 0; i < nc; ++i) {
        const CResultColumn& column = columns[i];
        for (int k = 0; k < column.Count(); ++k) {
            out.text += Sprintf(kZentographValue, "z", i * nc + k, column.values[k]);
            ++out.lineCount;
        }
    }
}

// The serial list leaves out the data X columns ("x_1", ...).
void AppendSerial(ResultFileText& out, const ResultColumnList& columns) {
    for (const CResultColumn& column : columns) {
        if (column.name.starts_with("x_")) {
            continue;
        }
        out.text += kSerialHeading;
        out.text += column.name;
        out.text += '\n';
        for (const double value : column.values) {
            AppendNumber(out.text, value);
            out.text += '\n';
            ++out.lineCount;
        }
    }
}

std::string FailureMessage(std::string_view message, const std::string& path,
                           const std::string& reason) {
    return std::string(message) + "\n" + path + ": " + reason + "\n";
}

}  // namespace

std::string FileExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

ResultFormat ChooseResultFormat(std::string_view extension, ResultWriterState& state) {
    const std::string ext = Lower(extension);
    ResultFormat format;
    if (ext == "dat") {
        format = state.m_b3D ? ResultFormat::Zentograph3D : ResultFormat::ZentographNormal;
    } else {
        if (ext == "csv") {
            state.m_nSeparator = kSeparatorComma;
        }
        format =
            state.m_nSeparator == kSeparatorSerial ? ResultFormat::Serial : ResultFormat::Delimited;
    }
    state.m_nLastFormat = static_cast<int>(format);
    return format;
}

ResultFileText FormatResultFile(ResultFormat format, const ResultWriterState& state,
                                const ResultColumnList& columns, int modelId) {
    return FormatResultFile(format, state, columns, ModelDisplayString(modelId));
}

ResultFileText FormatResultFile(ResultFormat format, const ResultWriterState& state,
                                const ResultColumnList& columns, std::string_view modelDisplay) {
    ResultFileText out;
    if (WantsComment(format, state)) {
        out.text += Sprintf("*Model F: %s\n", modelDisplay);
    }
    out.lineCount = 1;  // counts the comment line whether written or not
    if (columns.empty()) {
        return out;
    }
    switch (format) {
        case ResultFormat::ZentographNormal:
            AppendZentograph(out, columns);
            break;
        case ResultFormat::Delimited: {
            const int index = std::clamp(state.m_nSeparator, kSeparatorSpace, kSeparatorTab);
            AppendDelimited(out, columns, kSeparators[index], state.m_bHeader);
            break;
        }
        case ResultFormat::Zentograph3D:
            AppendZentograph3D(out, columns);
            break;
        case ResultFormat::Serial:
            AppendSerial(out, columns);
            break;
    }
    return out;
}

ResultWriteOutcome WriteResultFile(const std::string& path, std::string_view extension,
                                   const ResultColumnList& columns, int modelId,
                                   ResultWriterState& state, IComputeHost& host,
                                   const ResultWriteOptions& options) {
    return WriteResultFile(path, extension, columns, ModelDisplayString(modelId), state, host,
                           options);
}

ResultWriteOutcome WriteResultFile(const std::string& path, std::string_view extension,
                                   const ResultColumnList& columns, std::string_view modelDisplay,
                                   ResultWriterState& state, IComputeHost& host,
                                   const ResultWriteOptions& options) {
    const ResultFormat format = ChooseResultFormat(extension, state);
    ResultWriteOutcome outcome;
    if (columns.empty()) {
        host.ShowMessage(std::string(kNoResultsMessage), MessageIcon::Exclamation);
        return outcome;
    }
    FileWriteResult written;
    {
        const WaitCursor wait(host);
        const ResultFileText text = FormatResultFile(format, state, columns, modelDisplay);
        outcome.lineCount = text.lineCount;
        const EncodedText encoded = EncodeText(WithCrLf(text.text), options.encoding);
        written = SaveFileAtomically(path, encoded.bytes, options.beforeReplace, options.calls);
    }
    if (!written.ok) {
        outcome.status =
            written.opened ? ResultWriteStatus::WriteFailed : ResultWriteStatus::OpenFailed;
        const std::string_view message = written.opened ? kSaveFailedMessage : kOpenFailedMessage;
        host.ShowMessage(FailureMessage(message, path, written.reason), MessageIcon::Error);
        return outcome;
    }
    outcome.status = ResultWriteStatus::Written;
    host.ShowMessage(Sprintf(kWrittenMessage, outcome.lineCount, path), MessageIcon::Information);
    return outcome;
}

}  // namespace quillon
