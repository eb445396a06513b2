// The type information: every saved value belongs to one property, every
// enumeration appears in the forms the type library declares.
#include "control_fixture.h"

#include "control/settings_text.h"

#include <set>

namespace tolvex::control::testing {
namespace {

TEST(ObjectModelTest, DispidsRunFrom1To74ThenTheStockMembers)
{
    const auto& lib = TypeLibrary();
    ASSERT_EQ(lib.properties.size(), 77u);
    for (int i = 0; i < 74; ++i) EXPECT_EQ(lib.properties[i].dispid, i + 1);
    EXPECT_STREQ(lib.properties[74].name, "hWnd");
    EXPECT_STREQ(lib.properties[75].name, "Font");
    EXPECT_STREQ(lib.properties[76].name, "AboutBox");
    EXPECT_STREQ(FindProperty(0)->info.name, "Input");  // the default value
    EXPECT_STREQ(lib.progId, "TOLVEXCOMM.TolvexcommCtrl.1");
}

TEST(ObjectModelTest, EverySavedPropertyIsSavedOnceUnderItsName)
{
    std::multiset<std::string> fromProperties, fromOrder;
    for (const auto& row : PropertyRows())
        if (row.info.persistedName && row.info.dispid > 0) {
            fromProperties.insert(row.info.persistedName);
            EXPECT_STREQ(row.info.persistedName, row.info.name);
        }
    int only = 0;
    for (const auto& saved : SavedValues()) {
        if (saved.only != SavedOnly::None) {
            ++only;
            continue;
        }
        fromOrder.insert(saved.name);
        EXPECT_EQ(FindProperty(saved.dispid)->info.persistedName, std::string(saved.name));
        // The saved default passes the property's own check.
        const Variant d = SavedDefault(saved);
        if (saved.type != com::VarType::String) {
            EXPECT_TRUE(PassesCheck(*FindProperty(saved.dispid), d.integer()));
        }
    }
    EXPECT_EQ(SavedValues().size(), 39u);
    EXPECT_EQ(only, 3);  // FastScroll, Width, Height
    EXPECT_EQ(fromProperties, fromOrder);
}

TEST(ObjectModelTest, EnumerationsHaveTheirDeclaredForms)
{
    std::set<std::string> publicOnly, typeOnly, both;
    for (const auto& e : Enums()) {
        if (e.publicName && e.typeName) both.insert(e.publicName);
        else if (e.publicName) publicOnly.insert(e.publicName);
        else typeOnly.insert(e.typeName);
        for (std::size_t i = 1; i < e.constants.size(); ++i)
            EXPECT_LT(e.constants[i - 1].value, e.constants[i].value) << e.constants[i].name;
    }
    EXPECT_EQ(publicOnly, (std::set<std::string>{"EventConstants", "ErrorConstants", "XferStatusConstant"}));
    EXPECT_EQ(typeOnly, (std::set<std::string>{"enumAppearType"}));
    EXPECT_EQ(both.size(), 12u);
    // Every enumerated property names an enumeration that exists.
    for (const auto& row : PropertyRows())
        if (row.info.type == TypeKind::Enum) {
            EXPECT_NE(FindEnumByType(row.info.enumType), nullptr) << row.info.name;
        }
    const auto* protocol = FindEnumByType("enumProtocolType");
    ASSERT_NE(protocol, nullptr);
    ASSERT_EQ(protocol->constants.size(), 9u);
    EXPECT_STREQ(protocol->constants[5].name, "TOLVEX_ZMODEM");
}

TEST(ObjectModelTest, EventsCarryTheirParameters)
{
    std::map<std::string, std::pair<DispId, std::string>> got;
    for (const auto& e : Events()) {
        std::string params;
        for (const auto& p : e.params) params += std::string(p.byReference ? "&" : "") + p.name + " ";
        got[e.name] = {e.dispid, params};
    }
    EXPECT_EQ(got["OnComm"], std::pair(DispId(2), std::string()));
    EXPECT_EQ(got["Resize"], std::pair(DispId(3), std::string("NewRows NewColumns ")));
    EXPECT_EQ(got["KeyPress"], std::pair(DispId(-603), std::string("&KeyAscii ")));
    EXPECT_EQ(got["KeyDown"], std::pair(DispId(-602), std::string("&KeyCode Shift ")));
    EXPECT_EQ(got["MouseUp"], std::pair(DispId(-607), std::string("Button Shift X Y ")));
    for (const auto& e : Events()) EXPECT_NE(e.dispid, 1) << e.name;
}

TEST(SettingsTextTest, GrammarTable)
{
    struct Case {
        const char* text;
        bool ok;
        LineSettings want;  // from 9600,N,8,1
    };
    const Case cases[] = {
        {"9600,N,8,1", true, {9600, 0, 8, 0}},
        {"4800,n,8,1", true, {4800, 0, 8, 0}},
        {" 4800 ,\tn , 8 , 1 ", true, {4800, 0, 8, 0}},
        {"19200,e,7,1.5", true, {19200, 2, 7, 1}},
        {"19200,e,7,1", true, {19200, 2, 7, 0}},
        {"230400,m,5,2", true, {256000, 3, 5, 2}},
        {",,7,", true, {9600, 0, 7, 0}},
        {",e,,", true, {9600, 2, 8, 0}},
        {"1200", true, {1200, 0, 8, 0}},
        {"", true, {9600, 0, 8, 0}},
        {"9600,x,8,1", false, {}},
        {"9600,n,9,1", false, {}},
        {"9601,n,8,1", false, {}},
        {"9600,n,8,1,x", false, {}},
        {"9600x,n,8,1", false, {}},
        {"96", false, {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        LineSettings s;
        EXPECT_EQ(ParseSettings(k.text, s), k.ok);
        LineSettings want = k.ok ? k.want : LineSettings{};
        EXPECT_EQ(std::tuple(s.baud, s.parity, s.dataBits, s.stopBits),
                  std::tuple(want.baud, want.parity, want.dataBits, want.stopBits));
    }
}

}  // namespace
}  // namespace tolvex::control::testing
