// "Update time" on the wire: UTC time records until the beam unit echoes the year field.
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "WindowFixture.h"

namespace beamlink {
namespace {

using TimeUpdate = WindowAgainstSimulator;

std::vector<unsigned> fieldsOf(const std::string& record) {
    std::istringstream in(record);
    std::vector<unsigned> fields;
    unsigned v = 0;
    while (in >> v) {
        fields.push_back(v);
    }
    return fields;
}

// The instant a time record names, as seconds since the epoch.
std::time_t instantOf(const std::vector<unsigned>& f) {
    std::tm tm{};
    tm.tm_sec = static_cast<int>(f[0]) - 192;
    tm.tm_hour = static_cast<int>(f[1] & 0xFF);
    tm.tm_min = static_cast<int>(f[1] >> 8);
    tm.tm_mon = static_cast<int>(f[2] & 0xFF) - 1;
    tm.tm_mday = static_cast<int>(f[2] >> 8);
    tm.tm_year = static_cast<int>(f[3]) + 100;
    return timegm(&tm);
}

TEST_F(TimeUpdate, TimeRecordsCarryTheMachinesUtcUntilTheYearIsEchoed) {
    connectWith(kUpdateTime);
    EXPECT_EQ(group->ItemIndex(), kSendData);

    sim.setCts(true);
    std::time_t before = std::time(nullptr);
    std::string record = receive(1);
    std::time_t after = std::time(nullptr);
    auto f = fieldsOf(record);
    ASSERT_EQ(f.size(), 4u) << record;
    EXPECT_EQ(record.back(), '\r');
    EXPECT_GE(f[0], 192u);
    EXPECT_LE(f[0], 251u);
    EXPECT_GE(instantOf(f), before - 1);
    EXPECT_LE(instantOf(f), after + 1);

    // The unit echoes the year field: the next cycle sends code 67, the time words, status 0.
    sim.sendText("A 1 2 " + std::to_string(f[3]) + "\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.linkState().AckValue == static_cast<int>(f[3]); },
                                kWaitMs));
    pulseCts();
    auto ack = fieldsOf(receive(1));
    ASSERT_EQ(ack.size(), 4u);
    EXPECT_EQ(ack[0], 67u);
    EXPECT_EQ(ack[3], 0u);
    EXPECT_EQ(ack[2], f[2]);  // same day, unless the test ran across midnight
    EXPECT_FALSE(form.linkState().TimePending);

    pulseCts();
    EXPECT_EQ(receive(1), kPosition);
}

TEST_F(TimeUpdate, PendingTimeSurvivesNoExternalUnitAndGoesOutWithTheNextSendingMode) {
    connectWith(kUpdateTime);
    click(kNoExternalUnit);
    ASSERT_TRUE(sim.waitForDisconnect(kWaitMs));
    EXPECT_TRUE(form.linkState().TimePending);

    connectWith(kSendDataAndControl);
    sim.setCts(true);
    std::string got = receive(2);
    ASSERT_EQ(got.rfind(kStart, 0), 0u) << got;
    auto f = fieldsOf(got.substr(16));
    ASSERT_EQ(f.size(), 4u) << got;
    EXPECT_GE(f[0], 192u);
}

}  // namespace
}  // namespace beamlink
