#include <gtest/gtest.h>

#include <map>

#include "files/dir_history.h"

namespace quillon {
namespace {

class MapStore : public IKeyValueStore {
  public:
    std::optional<std::string> Read(const std::string& key) const override {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void Write(const std::string& key, const std::string& value) override { values[key] = value; }

    std::map<std::string, std::string> values;
};

DirectoryHistory Filled(int count) {
    DirectoryHistory history(kDocumentHistoryName);
    for (int i = count - 1; i >= 0; --i) {
        history.MoveToFront("/d" + std::to_string(i) + "/");
    }
    return history;  // /d0/ first
}

TEST(DirHistoryOrder, ListedFolderMovesToFrontWithoutDuplicate) {
    DirectoryHistory history = Filled(10);
    history.MoveToFront("/d3/");
    const std::vector<std::string> want = {"/d3/", "/d0/", "/d1/", "/d2/", "/d4/",
                                           "/d5/", "/d6/", "/d7/", "/d8/", "/d9/"};
    EXPECT_EQ(history.Folders(), want);
}

TEST(DirHistoryOrder, NewFolderDropsTheOldestOfTen) {
    DirectoryHistory history = Filled(10);
    history.MoveToFront("/new/");
    EXPECT_EQ(history.Entries().front(), "/new/");
    EXPECT_EQ(history.Entries().back(), "/d8/");
    EXPECT_EQ(history.Folders().size(), 10u);
}

TEST(DirHistoryOrder, ShortHistoryGrowsAndCaseMatters) {
    DirectoryHistory history(kResultHistoryName);
    history.MoveToFront("/Data/");
    history.MoveToFront("/data/");
    history.MoveToFront("/Data/");
    EXPECT_EQ(history.Folders(), (std::vector<std::string>{"/Data/", "/data/"}));
    history.MoveToFront("");
    EXPECT_EQ(history.Folders().size(), 2u);  // an empty folder is no entry
}

TEST(DirHistoryStore, ValueNamesCarryHistoryNameAndIndex) {
    EXPECT_EQ(DirectoryHistory(kDocumentHistoryName).ValueName(0), "DirHistDoc_0");
    EXPECT_EQ(DirectoryHistory(kResultHistoryName).ValueName(9), "DirHistCal_9");
}

TEST(DirHistoryStore, LoadStopsAtFirstEmptyValue) {
    MapStore store;
    store.values = {{"DirHistDoc_0", "/a/"},
                    {"DirHistDoc_1", "/b/"},
                    {"DirHistDoc_3", "/d/"},
                    {"DirHistDoc_10", "/k/"}};
    DirectoryHistory history(kDocumentHistoryName);
    history.Load(store);
    EXPECT_EQ(history.Folders(), (std::vector<std::string>{"/a/", "/b/"}));
    EXPECT_EQ(history.Entries()[3], "");

    DirectoryHistory empty(kResultHistoryName);
    empty.Load(store);
    EXPECT_TRUE(empty.Folders().empty());
}

TEST(DirHistoryStore, SaveWritesOnlyUpToTheFirstEmptyEntry) {
    MapStore store;
    store.values["DirHistCal_5"] = "/stale/";
    DirectoryHistory history(kResultHistoryName);
    history.MoveToFront("/b/");
    history.MoveToFront("/a/");
    history.Save(store);
    EXPECT_EQ(store.values,
              (std::map<std::string, std::string>{
                  {"DirHistCal_0", "/a/"}, {"DirHistCal_1", "/b/"}, {"DirHistCal_5", "/stale/"}}));

    DirectoryHistory loaded(kResultHistoryName);
    loaded.Load(store);
    EXPECT_EQ(loaded.Folders(), history.Folders());
}

TEST(FileTypeExtension, FilterTextGivesTheExtension) {
    EXPECT_EQ(FilterExtension("Text Files(*.txt)"), ".txt");
    EXPECT_EQ(FilterExtension("Data files(*.txt;*.bol)"), ".txt");
    EXPECT_EQ(FilterExtension("Zentograph Data Files(*.dat)"), ".dat");
    EXPECT_FALSE(FilterExtension("All Files(*.*)"));
    EXPECT_FALSE(FilterExtension("No pattern"));
}

TEST(FileTypeExtension, TypedNameFollowsTheType) {
    EXPECT_EQ(FileNameForType("calc.dat", "Text Files(*.txt)"), "calc.txt");
    EXPECT_EQ(FileNameForType("calc", "CSV Files(*.csv)"), "calc.csv");
    EXPECT_EQ(FileNameForType("/my.dir/calc", "CSV Files(*.csv)"), "/my.dir/calc.csv");
    EXPECT_EQ(FileNameForType("calc.dat", "All Files(*.*)"), "calc.dat");
}

}  // namespace
}  // namespace quillon
