// The system-type table: what must hold of every row, so that a new type added
// as one row is reachable and consistent with the code that asks the table.
#include "tkx/tkxComUSBPacket.h"
#include "tkx/tkxTrion.h"
#include "tkx/tkxTypes.h"
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using tkx::LookUpReported;
using tkx::LookUpType;
using tkx::SystemType;

// every row, found by asking for each number a type can have
std::vector<const SystemType *> Rows() {
  std::vector<const SystemType *> rows;
  for (int n = 0; n < 256; ++n)
    if (LookUpType(n).type == n) rows.push_back(&LookUpType(n));
  return rows;
}

TEST(SystemTypes, EveryPublicTypeHasANamedRow) {
  const int types[] = {TKX_SYSTEM_NONE,          TKX_SYSTEM_SIMULATOR,   TKX_SYSTEM_TRION3,
                       TKX_SYSTEM_POLUX,         TKX_SYSTEM_POLUX3,      TKX_SYSTEM_POLUX6_RIGHT,
                       TKX_SYSTEM_POLUX7_RIGHT,  TKX_SYSTEM_POLUX6_LEFT, TKX_SYSTEM_POLUX7_LEFT,
                       TKX_SYSTEM_FALCON,        TKX_SYSTEM_TRION6,      TKX_SYSTEM_TRION6_HR,
                       TKX_SYSTEM_TRION3_USB,    TKX_SYSTEM_TRION6_USB,  TKX_SYSTEM_CONTROLLER,
                       TKX_SYSTEM_CONTROLLER_HR, TKX_SYSTEM_CUSTOM,      TKX_SYSTEM_TQ2200};
  std::set<std::string> names;
  for (int type : types) {
    SCOPED_TRACE(type);
    const SystemType &t = LookUpType(type);
    EXPECT_EQ(t.type, type);
    EXPECT_STRNE(t.name, "unknown");
    EXPECT_TRUE(names.insert(t.name).second) << t.name;
  }
  // a number without a row is unknown and builds nothing
  for (int type : {-31, 50, 200}) {
    const SystemType &t = LookUpType(type);
    EXPECT_STREQ(t.name, "unknown");
    EXPECT_EQ(t.translator, tkx::TranslatorModel::None);
    EXPECT_EQ(t.rotator, tkx::RotatorModel::None);
    EXPECT_FALSE(t.HasGripper());
    EXPECT_FALSE(t.Has(tkx::kController));
  }
}

// two rows claiming one code would leave one of them unreachable
TEST(SystemTypes, ReportedCodesLeadBackToTheirRows) {
  std::set<int> codes;
  for (const SystemType *t : Rows()) {
    SCOPED_TRACE(t->type);
    // a stylus alone keeps its axis offset; other rows carry none
    if (!t->HasStylus()) {
      EXPECT_EQ(t->stylusOffset, 0.0);
    }
    if (t->reported == tkx::kNotReported) continue;
    EXPECT_TRUE(codes.insert(t->reported).second) << t->reported;
    EXPECT_EQ(&LookUpReported(t->reported), t);
    // and the channel keeps the row's type for it
    EXPECT_EQ(tkx::usb::TypeFromCode(t->reported).stored, t->type);
  }
  // whatever else a device reports is a custom device
  for (int code : {0, 32, 60, 200}) EXPECT_EQ(LookUpReported(code).type, TKX_SYSTEM_CUSTOM) << code;
}

// the pipeline and the channel rely on these of whatever a row declares
TEST(SystemTypes, RowsAreConsistentWithTheirMechanism) {
  for (const SystemType *t : Rows()) {
    SCOPED_TRACE(t->type);
    // the trion needs its factory defaults, and only the trion has them
    EXPECT_EQ(t->translator == tkx::TranslatorModel::Trion, tkxTrion::IsTrionType(t->type));
    if (t->translator == tkx::TranslatorModel::Trion) {
      EXPECT_NE(tkxTrion::DefaultParam(tkxTrion::kFirstParam, t->type), 0.0);
    }
    // left hands and grippers hang on a rotator: thumb and finger are placed in its frame
    if (t->IsLeftHanded() || t->HasGripper()) {
      EXPECT_NE(t->rotator, tkx::RotatorModel::None);
    }
    // a stylus alone keeps its axis offset; other rows carry none
    if (!t->HasStylus()) {
      EXPECT_EQ(t->stylusOffset, 0.0);
    }
    if (t->reported == tkx::kNotReported) continue;
    // a rotator reads channels 3 to 5 and the gripper channel 6
    EXPECT_GE(t->channels, t->HasGripper() ? 7 : t->rotator != tkx::RotatorModel::None ? 6 : 3);
    EXPECT_LE(t->channels, tkx::usb::kChannels);
  }
}

}  // namespace
