// Loading and saving the window's inputs, through the window's own controls.
#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "support/WindowFixture.h"

namespace {

using tovana::kRegDword;
using tovana::kRegSz;
using tovana::StoredValue;
using tovana::test::WindowFixture;

class SettingsTest : public WindowFixture {};

std::vector<std::string> Names(const tovana::test::MemorySettingsStore& store) {
    std::vector<std::string> names;
    for (const auto& entry : *store.key) {
        names.push_back(entry.first);
    }
    return names;
}

TEST_F(SettingsTest, NoStoreChangesNothingAndCreatesNothing) {
    Open();
    EXPECT_EQ(settings.opensForReading, 3) << "all three ways of opening are tried";
    EXPECT_FALSE(settings.key.has_value());
    EXPECT_EQ(ui().eMask->text(), "*.*");
}

TEST_F(SettingsTest, KeyWithOnlyPathEmptiesTheMaskAndClearsEveryFlag) {
    settings.PutText("Path", "/home/jana/Fotky");
    Open();
    EXPECT_EQ(ui().ePath->text(), "/home/jana/Fotky");
    EXPECT_TRUE(ui().bOK->isEnabled()) << "the path's change handler must run";
    EXPECT_EQ(ui().eMask->text(), "");
    EXPECT_TRUE(ui().rNoChangeName->isChecked());
    EXPECT_FALSE(ui().cSubDir->isChecked());
}

TEST_F(SettingsTest, StoredReplaceSpaceGreysOutItsPartners) {
    settings.PutFlag("ReplaceSpace", true);
    settings.PutFlag("RemoveSpace", true);
    Open();
    EXPECT_TRUE(ui().cReplSpace->isChecked());
    EXPECT_FALSE(ui().cRemSpace->isEnabled());
    EXPECT_TRUE(ui().cRemSpace->isChecked()) << "a greyed-out box keeps its check";
    EXPECT_FALSE(ui().cReplUndr->isEnabled());
    EXPECT_TRUE(ui().cRemUndr->isEnabled());
}

TEST_F(SettingsTest, BothReplacementsStoredEndCheckedAndGreyedOut) {
    settings.PutFlag("ReplaceSpace", true);
    settings.PutFlag("ReplaceUnderline", true);
    Open();
    EXPECT_TRUE(ui().cReplSpace->isChecked());
    EXPECT_TRUE(ui().cReplUndr->isChecked());
    EXPECT_FALSE(ui().cReplSpace->isEnabled());
    EXPECT_FALSE(ui().cReplUndr->isEnabled());
    const tovana::RenameOptions o = tovana::OptionsFromControls(*window);
    EXPECT_FALSE(o.ReplaceSpaceEffective() || o.ReplaceUnderlineEffective());
}

TEST_F(SettingsTest, BothCasesStoredLowerWins) {
    settings.PutFlag("ToUpperCase", true);
    settings.PutFlag("ToLowerCase", true);
    Open();
    EXPECT_TRUE(ui().rLowerName->isChecked());
    EXPECT_FALSE(ui().rUpperName->isChecked());
}

struct MistypedCase {
    const char* label;
    StoredValue value;
    const char* message;
};

class MistypedFlag : public WindowFixture, public testing::WithParamInterface<MistypedCase> {};

TEST_P(MistypedFlag, StopsTheLoadThereWithItsMessage) {
    settings.PutText("Path", "/data");
    settings.PutText("Masks", "*.jpg");
    settings.Put("SubDir", GetParam().value);
    settings.PutFlag("RenameDir", true);
    Open();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetParam().message);
    EXPECT_EQ(messages[0].title, "Tovana");
    EXPECT_TRUE(messages[0].isError);
    EXPECT_EQ(ui().ePath->text(), "/data");
    EXPECT_EQ(ui().eMask->text(), "*.JPG");
    EXPECT_FALSE(ui().cRenDir->isChecked()) << "values after the failing one stay unloaded";
    EXPECT_EQ(window->windowTitle(), "Tovana  1.2.0 (18)");
}

INSTANTIATE_TEST_SUITE_P(
    Values, MistypedFlag,
    testing::Values(MistypedCase{"TextOne", {kRegSz, {'1', 0}}, "Invalid data type for 'SubDir'"},
                    MistypedCase{"TextTrue",
                                 {kRegSz, {'t', 'r', 'u', 'e', 0}},
                                 "Failed to get data for 'SubDir'"},
                    MistypedCase{"EightByteNumber",
                                 {kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}},
                                 "Failed to get data for 'SubDir'"}),
    [](const testing::TestParamInfo<MistypedCase>& param) { return param.param.label; });

TEST_F(SettingsTest, ShortNumberAndExpandableTextRead) {
    settings.Put("Path", {tovana::kRegExpandSz, {'/', 'x', 0, 'y'}});
    settings.Put("SubDir", {kRegDword, {1}});
    settings.Put("Masks", {tovana::kRegBinary, {}});
    Open();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ui().ePath->text(), "/x");
    EXPECT_TRUE(ui().cSubDir->isChecked());
    EXPECT_EQ(ui().eMask->text(), "") << "zero bytes read as empty text whatever the type";
}

TEST_F(SettingsTest, CloseWritesAllElevenValuesInOrderEvenUnchanged) {
    Open();
    window->close();
    ASSERT_TRUE(settings.key.has_value());
    const std::vector<std::string> order = {
        "Path",         "Masks",       "SubDir",           "RenameDir",
        "ReplaceSpace", "RemoveSpace", "ReplaceUnderline", "RemoveUnderline",
        "ToUpperCase",  "ToLowerCase", "NonAlphaNum"};
    EXPECT_EQ(Names(settings), order);
    EXPECT_EQ(*settings.Find("Path"), (StoredValue{kRegSz, {0}}));
    EXPECT_EQ(*settings.Find("Masks"), (StoredValue{kRegSz, {'*', '.', '*', 0}}));
    EXPECT_EQ(*settings.Find("SubDir"), (StoredValue{kRegDword, {0, 0, 0, 0}}));
}

TEST_F(SettingsTest, ValuesRoundTripThroughTheWindow) {
    Open();
    ui().ePath->setText("/srv/www/Léto");
    ui().eMask->setText("");
    ui().cSubDir->setChecked(true);
    ui().cReplUndr->setChecked(true);
    ui().rUpperName->setChecked(true);
    window->close();
    messages.clear();
    Open();
    EXPECT_EQ(ui().ePath->text(), "/srv/www/Léto");
    EXPECT_EQ(ui().eMask->text(), "");
    EXPECT_TRUE(ui().cSubDir->isChecked());
    EXPECT_TRUE(ui().cReplUndr->isChecked());
    EXPECT_FALSE(ui().cReplSpace->isEnabled());
    EXPECT_TRUE(ui().rUpperName->isChecked());
    EXPECT_EQ(*settings.Find("ToUpperCase"), (StoredValue{kRegDword, {1, 0, 0, 0}}));
}

TEST_F(SettingsTest, FailedWriteKeepsTheWindowOpen) {
    Open();
    ShowActive();
    settings.unwritable = {"SubDir"};
    window->close();
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Failed to set data for 'SubDir'");
    EXPECT_NE(settings.Find("Masks"), nullptr) << "values before the failing one are written";
    EXPECT_EQ(settings.Find("RenameDir"), nullptr);
    settings.unwritable.clear();
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SettingsTest, StoreThatCannotBeOpenedLetsTheWindowCloseQuietly) {
    Open();
    ShowActive();
    settings.creatable = false;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
