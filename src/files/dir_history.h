// The folder histories of the file dialogs: ten folders, the most recent
// first, kept between runs in a key-value store (the window's settings), and
// the rule that makes a typed extension follow the chosen file type.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr int kHistoryCount = 10;  // folders each history keeps
inline constexpr std::string_view kDocumentHistoryName = "DirHistDoc";
inline constexpr std::string_view kResultHistoryName = "DirHistCal";

// Where the histories live between runs; the window backs it with its
// settings, the tests with a map.
class IKeyValueStore {
  public:
    virtual ~IKeyValueStore() = default;
    virtual std::optional<std::string> Read(const std::string& key) const = 0;
    virtual void Write(const std::string& key, const std::string& value) = 0;
};

class DirectoryHistory {
  public:
    explicit DirectoryHistory(std::string_view name) : m_name(name) {}

    // Puts folder at index 0: one already listed moves up without a
    // duplicate, a new one pushes the oldest (index 9) out. Folders compare
    // byte for byte. An empty folder is not an entry and is ignored.
    void MoveToFront(const std::string& folder);

    // The entries up to the first empty one, as the combo box lists them.
    std::vector<std::string> Folders() const;
    const std::array<std::string, kHistoryCount>& Entries() const { return m_entries; }
    const std::string& Name() const { return m_name; }

    // Reads "NAME_0", "NAME_1", ... until the first missing or empty value.
    void Load(const IKeyValueStore& store);
    // Writes the entries up to the first empty one; later values are left.
    void Save(IKeyValueStore& store) const;

    // "%s_%d" of the history name and the index.
    std::string ValueName(int index) const;

  private:
    std::string m_name;
    std::array<std::string, kHistoryCount> m_entries;
};

// A folder with a trailing "/".
std::string WithTrailingSlash(std::string_view folder);

// The extension of a filter text such as "Text Files(*.txt)" or
// "Data files(*.txt;*.bol)" with its dot (".txt"), or nothing when the filter
// names no single extension ("All Files(*.*)").
std::optional<std::string> FilterExtension(std::string_view filterText);

// The typed file name with the extension of the chosen filter in place of its
// own (calc.dat becomes calc.txt for "Text Files(*.txt)"); unchanged when the
// filter names no extension.
std::string FileNameForType(std::string_view fileName, std::string_view filterText);

}  // namespace quillon
