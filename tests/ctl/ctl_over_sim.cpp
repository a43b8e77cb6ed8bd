#include "ctl_over_sim.h"

#include <cstdio>

#include "frame_codec.h"

namespace {

std::string Framed(std::string text)
{
    char checksum[16] = "";
    AppendHex8(static_cast<std::uint32_t>(FrameChecksum(text.c_str())), checksum);
    return text + (checksum + 6);
}

} // namespace

const char kKnownCsv[] = "channel,temperature_c,power_pct,sensor,overtemp,ext_heat_enable\n"
                         "1,20.00,100.0,1,1,1\n"
                         "2,21.11,49.9,0,0,0\n"
                         "3,22.22,0.2,1,0,0\n"
                         "4,23.33,0.0,0,0,1\n";

std::string QueryFrame(const std::string& body)
{
    return Framed("*00" + body) + "\r";
}

std::string WriteFrame(const std::string& code, std::int32_t value)
{
    char word[16] = "";
    AppendHex8(static_cast<std::uint32_t>(value), word);
    return Framed("*00" + code + word) + "\r";
}

std::string ReplyFrame(std::int32_t value)
{
    char word[16] = "";
    AppendHex8(static_cast<std::uint32_t>(value), word);
    return Framed(std::string("*") + word) + "^";
}

std::string HexBytes(const std::string& bytes)
{
    std::string hex;
    for (unsigned char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

void CtlOverSim::SetUp()
{
    sim_ = std::make_unique<SimHarness>();
    ASSERT_TRUE(sim_->Start()) << sim_->Error();
    Command("freeze 1");
    for (int ch = 0; ch < 4; ++ch) {
        const KnownChannel& known = kKnownChannels[ch];
        const std::string n = std::to_string(ch) + " ";
        Command("set temp " + n + std::to_string(known.temperature));
        Command("set power " + n + std::to_string(known.power));
        Command("set status " + n + std::to_string(known.status));
    }
}

void CtlOverSim::TearDown()
{
    if (sim_)
        sim_->Stop();
}
