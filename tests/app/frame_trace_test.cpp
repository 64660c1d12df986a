#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "app/frame_trace.h"
#include "app/map_info.h"

namespace q {
namespace {

TEST(AppFrameTrace, OneJsonObjectPerFrameWithNonFiniteValuesAsNull) {
    const std::string path = ::testing::TempDir() + "app_trace.jsonl";
    FrameTrace trace;
    std::string error;
    ASSERT_TRUE(trace.open(path, &error)) << error;
    TraceRecord record;
    record.frame = 0;
    record.x = 1.5f;
    record.y = -64.0f;
    record.z = 0.1f;
    record.instance = -1;
    record.area = 3;
    record.visibleAreas = 7;
    record.cost.drawCalls = 12;
    record.cost.triangles = 5000000000;  // past 32 bits
    record.cost.copiesDrawn = 2;
    record.cost.lightsDrawn = 5;
    trace.write(record);
    record.frame = 1;
    record.portalMode = false;
    record.fps = NAN;
    record.fallSpeed = INFINITY;
    record.freeFlight = true;
    trace.write(record);
    ASSERT_TRUE(trace.close(&error)) << error;

    std::ifstream in(path);
    std::string first, second, extra;
    ASSERT_TRUE(std::getline(in, first));
    ASSERT_TRUE(std::getline(in, second));
    EXPECT_FALSE(std::getline(in, extra));
    EXPECT_EQ(first,
              "{\"frame\":0,\"x\":1.5,\"y\":-64,\"z\":0.100000001,\"yaw\":0,\"pitch\":0,\"instance\":-1,\"area\":3,"
              "\"visibleAreas\":7,\"portalMode\":true,\"fps\":0,\"fallSpeed\":0,\"freeFlight\":false,"
              "\"drawCalls\":12,\"triangles\":5000000000,\"copiesDrawn\":2,\"lightsDrawn\":5}");
    EXPECT_NE(second.find("\"portalMode\":false,\"fps\":null,\"fallSpeed\":null,\"freeFlight\":true,"),
              std::string::npos);
    std::remove(path.c_str());
}

TEST(AppFrameTrace, JsonStringsEscapeWhatJsonCannotHoldAsIs) {
    // Names come from map files: quotes, backslashes, control bytes and bytes
    // that are not UTF-8 must still give valid JSON; UTF-8 stays as it is.
    EXPECT_EQ(jsonString("textures/a"), "\"textures/a\"");
    EXPECT_EQ(jsonString("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(jsonString(std::string("a\tb\x01\x7f", 5)), "\"a\\u0009b\\u0001\\u007f\"");
    EXPECT_EQ(jsonString("w\xc3\xa4nd"), "\"w\xc3\xa4nd\"");                  // ä as UTF-8
    EXPECT_EQ(jsonString("w\xe4nd"), "\"w\\u00e4nd\"");                        // ä as Latin-1
    EXPECT_EQ(jsonString("\xc0\xaf\xed\xa0\x80\xf0\x9f"), "\"\\u00c0\\u00af\\u00ed\\u00a0\\u0080\\u00f0\\u009f\"");
}

TEST(AppFrameTrace, UnwritablePathIsReported) {
    FrameTrace trace;
    std::string error;
    EXPECT_FALSE(trace.open("/nonexistent-dir/trace.jsonl", &error));
    EXPECT_NE(error.find("/nonexistent-dir/trace.jsonl"), std::string::npos);
    trace.write(TraceRecord{});  // writing to a trace that is not open does nothing
    EXPECT_FALSE(trace.isOpen());
}

}  // namespace
}  // namespace q
