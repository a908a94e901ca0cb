#include "files/dir_history.h"

#include <algorithm>

#include "records/number_format.h"

namespace quillon {

void DirectoryHistory::MoveToFront(const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    const auto found = std::ranges::find(m_entries, folder);
    const auto last = found == m_entries.end() ? m_entries.end() - 1 : found;
    std::move_backward(m_entries.begin(), last, last + 1);
    m_entries.front() = folder;
}

std::vector<std::string> DirectoryHistory::Folders() const {
    std::vector<std::string> folders;
    for (const std::string& entry : m_entries) {
        if (entry.empty()) {
            break;
        }
        folders.push_back(entry);
    }
    return folders;
}

std::string DirectoryHistory::ValueName(int index) const {
    return Sprintf("%s_%d", m_name, index);
}

void DirectoryHistory::Load(const IKeyValueStore& store) {
    m_entries.fill(std::string());
    for (int i = 0; i < kHistoryCount; ++i) {
        std::string value = store.Read(ValueName(i)).value_or(std::string());
        if (value.empty()) {
            break;
        }
        m_entries[static_cast<std::size_t>(i)] = std::move(value);
    }
}

void DirectoryHistory::Save(IKeyValueStore& store) const {
    const std::vector<std::string> folders = Folders();
    for (std::size_t i = 0; i < folders.size(); ++i) {
        store.Write(ValueName(static_cast<int>(i)), folders[i]);
    }
}

std::string WithTrailingSlash(std::string_view folder) {
    std::string text(folder);
    if (!text.ends_with('/')) {
        text += '/';
    }
    return text;
}

std::optional<std::string> FilterExtension(std::string_view filterText) {
    const std::size_t open = filterText.find_last_of('(');
    const std::size_t close = filterText.find_last_of(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    const std::size_t dot = filterText.find('.', open);
    if (dot == std::string_view::npos || dot > close) {
        return std::nullopt;
    }
    const std::size_t semicolon = filterText.find(';', open);
    const std::size_t end =
        semicolon != std::string_view::npos && semicolon < close ? semicolon : close;
    if (end < dot) {
        return std::nullopt;
    }
    const std::string_view extension = filterText.substr(dot, end - dot);
    if (extension.size() <= 1 || extension[1] == '*') {
        return std::nullopt;
    }
    return std::string(extension);
}

std::string FileNameForType(std::string_view fileName, std::string_view filterText) {
    const std::optional<std::string> extension = FilterExtension(filterText);
    if (!extension) {
        return std::string(fileName);
    }
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.find_last_of('.');
    const std::size_t baseEnd =
        dot == std::string_view::npos || dot < nameStart ? fileName.size() : dot;
    return std::string(fileName.substr(0, baseEnd)) + *extension;
}

}  // namespace quillon
