// The type information: every saved value belongs to one property, every
// enumeration appears in the forms the type library declares.
#include "control_fixture.h"

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

// The property table is where a property's name, DISPID, type, part, save
// position and profile key are written; everything else is made from it.
// This walks the table against what is made from it: the type information,
// a saved bag, a profile and the parts that answer for each row.
TEST(ObjectModelTest, TableDrivesTypeInfoSaveOrderProfileAndParts)
{
    const auto& lib = TypeLibrary();
    ASSERT_EQ(lib.properties.size(), PropertyRows().size());
    for (const auto& p : lib.properties) {
        SCOPED_TRACE(p.name);
        const PropertyRow* row = FindProperty(p.dispid);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(FindPropertyByName(p.name), row);
        EXPECT_STREQ(row->info.name, p.name);
        EXPECT_EQ(row->info.type, p.type);
        // A value is saved exactly when it has a saved name (the font is saved apart).
        if (row->info.dispid != com::dispid::kFont) {
            EXPECT_EQ(row->savePosition >= 0, row->info.persistedName != nullptr);
        }
    }

    // The save order: one value a position, then the same names in a saved bag.
    TempDir dir;
    std::string profile = "[Default Values]\r\n";
    std::map<std::string, Variant> fromProfile;  // property name -> value the profile gives
    for (const PropertyRow* row : ProfileRows()) {
        std::string text;
        Variant want;
        if (row->info.type == TypeKind::String) {
            text = "4800,E,7,1";
            want = S(text);
        } else if (row->info.type == TypeKind::Bool) {
            const int n = row->defaultNumber != 0 ? 0 : -1;
            text = std::to_string(n);
            want = B(n != 0);
        } else {
            int n = row->defaultNumber + 1;
            if (row->info.type == TypeKind::Enum)
                for (const auto& k : FindEnumByType(row->info.enumType)->constants)
                    if (k.value != row->defaultNumber) n = k.value;
            text = std::to_string(n);
            want = row->info.type == TypeKind::I4 ? I4(n) : I2(n);
        }
        profile += std::string(row->profileKey) + "=" + text + "\r\n";
        fromProfile[row->info.name] = want;
    }
    EXPECT_EQ(fromProfile.size(), 22u);
    RecordingSite site;
    auto c = MakeControl(site, dir.Write("tolvexcomm.ini", profile));
    for (const auto& [name, want] : fromProfile) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Get(*c, FindPropertyByName(name)->info.dispid).value, want);
    }

    MemoryBag bag;
    ASSERT_EQ(c->Save(bag, true), com::kOk);
    const auto saved = SavedValues();
    ASSERT_EQ(bag.values.size(), saved.size() + 2);  // after _Version and Font
    EXPECT_EQ(bag.values[0].first, "_Version");
    EXPECT_EQ(bag.values[1].first, "Font");
    for (std::size_t i = 0; i < saved.size(); ++i) {
        SCOPED_TRACE(saved[i].name);
        EXPECT_EQ(bag.values[i + 2].first, saved[i].name);
        EXPECT_EQ(bag.values[i + 2].second.type(), saved[i].type);
        if (saved[i].only == SavedOnly::None) {
            EXPECT_EQ(FindProperty(saved[i].dispid)->savePosition, static_cast<int>(i));
            auto it = fromProfile.find(saved[i].name);
            if (it != fromProfile.end() && it->second.type() != com::VarType::Bool) {
                EXPECT_EQ(ToText(bag.values[i + 2].second), ToText(it->second));
            }
        }
    }

    // Every row is answered by the part it names: a part asked for a row that
    // is not its own refuses it as not supported (394, 383).
    for (const auto& row : PropertyRows()) {
        SCOPED_TRACE(row.info.name);
        const DispId d = row.info.dispid;
        if (row.info.type == TypeKind::Method) continue;
        // Without a screen the selection cannot be read (394 by design).
        const bool selection = d == com::dispid::kSelStart || d == com::dispid::kSelLength ||
                               d == com::dispid::kSelText;
        Variant current = S("");
        if (row.info.get != com::GetAccess::None && !selection) {
            auto r = Get(*c, d);
            EXPECT_NE(r.error(), kErrGetNotSupported);
            current = r.value;
        }
        if (row.info.put != com::PutAccess::None && row.info.put != com::PutAccess::DesignOnly) {
            EXPECT_NE(Put(*c, d, current).error(), kErrSetNotSupported);
        }
    }
}

}  // namespace
}  // namespace tolvex::control::testing
