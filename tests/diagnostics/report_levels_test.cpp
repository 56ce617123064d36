#include <gtest/gtest.h>

#include <winport/windows.h>

#include "diagnostics/report_levels.h"

namespace {

struct LevelEvent {
  DWORD level;
  WORD type;
  WORD category;
};
void PrintTo(const LevelEvent& c, std::ostream* out) {
  *out << "level " << c.level;
}

class ReportLevelEvent : public testing::TestWithParam<LevelEvent> {};

TEST_P(ReportLevelEvent, WrittenWithItsTypeAndCategory) {
  const LevelEvent& c = GetParam();
  EXPECT_EQ(quillmere::EventTypeForLevel(c.level), c.type);
  EXPECT_EQ(quillmere::EventCategoryForLevel(c.level), c.category);
}

// Only the four single levels have a category; anything else is plain information.
INSTANTIATE_TEST_SUITE_P(Levels, ReportLevelEvent,
                         testing::Values(LevelEvent{1, EVENTLOG_ERROR_TYPE, 1},
                                         LevelEvent{2, EVENTLOG_WARNING_TYPE, 2},
                                         LevelEvent{4, EVENTLOG_INFORMATION_TYPE, 3},
                                         LevelEvent{8, EVENTLOG_AUDIT_SUCCESS, 4},
                                         LevelEvent{0, EVENTLOG_INFORMATION_TYPE, 0},
                                         LevelEvent{3, EVENTLOG_INFORMATION_TYPE, 0},
                                         LevelEvent{16, EVENTLOG_INFORMATION_TYPE, 0},
                                         LevelEvent{0x100, EVENTLOG_INFORMATION_TYPE, 0},
                                         LevelEvent{0xFFFFFFFF, EVENTLOG_INFORMATION_TYPE, 0}),
                         [](const testing::TestParamInfo<LevelEvent>& info) {
                           return "Level" + std::to_string(info.param.level);
                         });

}  // namespace
