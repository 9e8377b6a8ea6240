#include <gtest/gtest.h>

#include "PostSet.h"
#include "PostSetTestSupport.h"

namespace {

const char* const kScratchKey = "Software\\QxPostSetRegistryTest";

class RegistryTest : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey); }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey);
        RemoveProductRegistry();
    }
};

} // namespace

TEST_F(RegistryTest, WritesNamedAndDefaultValuesAsStringsWithTheirTerminator) {
    std::string key = std::string(kScratchKey) + "\\a\\b";
    WriteRegistryStrings(HKEY_CURRENT_USER, key, {{nullptr, "Quorvath"}, {"00", "C:\\x y\\z.qvq"}});
    RegString byDefault = ReadRegString(HKEY_CURRENT_USER, key, nullptr);
    ASSERT_TRUE(byDefault.found) << "missing parent keys are created";
    EXPECT_EQ(byDefault.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(byDefault.data, "Quorvath");
    EXPECT_EQ(byDefault.size, 9u);
    RegString named = ReadRegString(HKEY_CURRENT_USER, key, "00");
    EXPECT_EQ(named.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(named.data, "C:\\x y\\z.qvq");
    EXPECT_EQ(named.size, named.data.size() + 1);
}

TEST_F(RegistryTest, OverwritesItsValuesAndLeavesOthers) {
    WriteRegistryStrings(HKEY_CURRENT_USER, kScratchKey, {{"00", "old"}, {"03", "earlier"}});
    WriteRegistryStrings(HKEY_CURRENT_USER, kScratchKey, {{"00", "new"}});
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratchKey, "00").data, "new");
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratchKey, "03").data, "earlier");
}

TEST_F(RegistryTest, KeyThatCannotBeCreatedLosesItsValuesSilently) {
    // A stored key cannot live below a volatile one: a real refusal of
    // RegCreateKeyExA, standing in for an account without rights.
    std::string parent = std::string(kScratchKey) + "\\volatile";
    ScopedRegKey created;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, parent.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, created.receive(), nullptr),
              ERROR_SUCCESS);
    WriteRegistryStrings(HKEY_CURRENT_USER, parent + "\\child", {{"v", "y"}, {nullptr, "z"}});
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, parent + "\\child"));
    // The caller goes on: the next key is written as usual.
    WriteRegistryStrings(HKEY_CURRENT_USER, kScratchKey, {{"v", "x"}});
    EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kScratchKey, "v").data, "x");
}

TEST(RegistryKeys, CommandLinesQuoteTheProgramPath) {
    std::string dest = "C:\\My Apps\\Q";
    std::vector<RegistryKey> keys = ProductRegistryKeys(dest);
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[0].values[1].data, "\"C:\\My Apps\\Q\\unsetup.exe\"");
    EXPECT_EQ(keys[4].values[0].data, "C:\\My Apps\\Q\\quorvath.exe,0");
    EXPECT_EQ(keys[5].values[0].data, "\"C:\\My Apps\\Q\\quorvath.exe\" \"%1\"");
    RegistryKey runOnce = BrowserFinderRunOnceKey(dest);
    EXPECT_EQ(runOnce.root, HKEY_CURRENT_USER);
    EXPECT_STREQ(runOnce.path, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    ASSERT_EQ(runOnce.values.size(), 1u);
    EXPECT_STREQ(runOnce.values[0].name, "QuorvathSetup");
    EXPECT_EQ(runOnce.values[0].data, "\"C:\\My Apps\\Q\\tolvane.exe\"");
    EXPECT_EQ(BrowserFinderCommand(dest), "\"C:\\My Apps\\Q\\tolvane.exe\"");
}
