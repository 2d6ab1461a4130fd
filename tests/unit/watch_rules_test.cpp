// The device watch's rules without a window: keeping or searching the adapter, and recognising
// the product on the encoder.
#include <gtest/gtest.h>

#include "commands/device_watch.h"
#include "support/frames.h"
#include "support/link_fixture.h"

using namespace commands;

namespace {

using sim::RequestKind;

class WatchRulesTest : public LinkTest {};

TEST_F(WatchRulesTest, PresenceAnswerBelowThreeClearsTheRecordAndSearches)
{
    struct Case {
        uint8_t answer;
        bool searched;
    };
    for (const Case c : {Case{0, true}, Case{2, true}, Case{3, false}, Case{4, false}}) {
        ResetProgramState();
        host.SetListing({});
        sim::AdapterOptions options;
        options.presenceAnswer = c.answer;
        auto adapter = OpenAdapter(sim::Format2Image(), options);
        DeviceModel.ProductFamilyFlags[KV24] = 1;
        DeviceModel.SerialNumber = {'A', 'B', '1', '2', '3', '4'};
        adapter->ClearLog();

        KeepAdapter(SearchAndBlink);
        EXPECT_EQ(DeviceModel.ProductFamilyFlags[KV24], c.searched ? 0 : 1) << int(c.answer);
        EXPECT_EQ(adapter->FramesOf(RequestKind::Presence).size(), c.searched ? 2u : 1u) << int(c.answer);
        // A search takes a port only at 4 or more: answers of 3 keep it, lower ones lose it.
        EXPECT_EQ(SerialChannel.portName.empty(), c.searched) << int(c.answer);
    }
}

TEST_F(WatchRulesTest, KnownNameSetsItsFlagAndLoadsOnlyOnFirstSight)
{
    sim::ProductRecordSpec spec;
    spec.name = "KV26";
    auto adapter = OpenAdapter(sim::Format2Image(spec));

    const ProductSighting first = SightProduct();
    EXPECT_EQ(first.model, KV26);
    EXPECT_TRUE(first.firstSight);
    EXPECT_TRUE(LoadOnFirstSight(first));
    const ProductSighting again = SightProduct();
    EXPECT_FALSE(again.firstSight);
    EXPECT_FALSE(LoadOnFirstSight(again));

    std::vector<Bytes> frames = {{0x55, 0xA1, 73, 4}};
    for (const Bytes& read : WholeReadFrames()) frames.push_back(read);
    frames.push_back({0x55, 0xA1, 73, 4});
    EXPECT_EQ(adapter->Frames(), frames);
}

TEST_F(WatchRulesTest, UnknownOrUnreadNameClearsTheRecord)
{
    struct Case {
        const char* what;
        std::string name;
        int shortReadBy;
    };
    const Case cases[] = {{"lower case", "kv24", 0}, {"other", "AB12", 0}, {"failed read", "KV24", 1}};
    for (const Case& c : cases) {
        ResetProgramState();
        sim::ProductRecordSpec spec;
        spec.name = c.name;
        sim::AdapterOptions options;
        options.shortReadBy = c.shortReadBy;
        OpenAdapter(sim::Format2Image(spec), options);
        DeviceModel.ProductFamilyFlags[KV24] = 1;
        DeviceModel.SerialNumber = {'A', 'B', '1', '2', '3', '4'};

        EXPECT_EQ(SightProduct().model, -1) << c.what;
        EXPECT_EQ(DeviceModel.ProductFamilyFlags[KV24], 0) << c.what;
        EXPECT_EQ(AsBytes(DeviceModel.SerialNumber), Bytes(6, 0)) << c.what;
    }
}

TEST_F(WatchRulesTest, IntervalFollowsThePortInUse)
{
    EXPECT_EQ(WatchIntervalMs(), 3000);
    OpenAdapter();
    EXPECT_EQ(WatchIntervalMs(), 500);
}

}  // namespace
