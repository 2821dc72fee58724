// The MQTT bridge's parsing of topics, payloads and its configuration, without a broker.

#include "tools/ledsign/MqttPayload.h"
#include "testsupport/ScratchFiles.h"
#ifdef LEDSIGN_HAVE_MQTT
#include "tools/ledsign/MqttConfig.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

using namespace ledsign_tool;

namespace {

constexpr std::size_t kTypeByte = 1023;

TEST(MqttPayload, CommandTopics) {
    const struct {
        const char* Topic;
        const char* Prefix;
        const char* Sign; // nullptr: not a command topic
        BridgeCommand Command;
    } cases[] = {
        {"ledsign/kasa/message/set", "ledsign", "kasa", BridgeCommand::Message},
        {"ledsign/kasa/set/set", "ledsign", "kasa", BridgeCommand::Set},
        {"ledsign/kasa/show/set", "ledsign", "kasa", BridgeCommand::Show},
        {"ledsign/kasa/clock/set", "ledsign", "kasa", BridgeCommand::Clock},
        {"site/a/ledsign/kasa/show/set", "site/a/ledsign", "kasa", BridgeCommand::Show},
        {"ledsign/kasa/message", "ledsign", nullptr, BridgeCommand::Message},
        {"ledsign/kasa/state", "ledsign", nullptr, BridgeCommand::Message},
        {"ledsign//message/set", "ledsign", nullptr, BridgeCommand::Message},
        {"ledsign/a/b/message/set", "ledsign", nullptr, BridgeCommand::Message},
        {"ledsignx/kasa/message/set", "ledsign", nullptr, BridgeCommand::Message},
        {"other/kasa/message/set", "ledsign", nullptr, BridgeCommand::Message},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseCommandTopic(c.Topic, c.Prefix);
        ASSERT_EQ(parsed.has_value(), c.Sign != nullptr) << c.Topic;
        if (parsed) {
            EXPECT_EQ(parsed->Sign, c.Sign) << c.Topic;
            EXPECT_EQ(parsed->Command, c.Command) << c.Topic;
        }
    }
}

TEST(MqttPayload, MessagesTakeSlotFontAndType) {
    const struct {
        std::string Payload;
        int Slot;
        int Font;
        int Type; // 0 scrolling, 1 static
        std::string Text;
    } cases[] = {
        {"Promocja", 9, 4, 0, "Promocja"},
        {"Zażółć", 9, 4, 0, "Zażółć"},
        {R"({"text": "Kasa 2"})", 9, 4, 0, "Kasa 2"},
        {"{font=2}Kasa {time}", 9, 2, 0, "{font=2}Kasa {time}"},
        {R"({"text": "A", "font": 1, "static": true, "slot": 3})", 3, 1, 1, "A"},
        {R"({"slot": 1, "text": "B", "font": 5, "static": false})", 1, 5, 0, "B"},
    };
    for (const auto& c : cases) {
        ParsedMessage m;
        ASSERT_EQ(ParseMessagePayload(c.Payload, m), "") << c.Payload;
        EXPECT_EQ(m.Slot, c.Slot) << c.Payload;
        EXPECT_EQ(m.Bytes[0], c.Font) << c.Payload;
        EXPECT_EQ(m.Bytes[kTypeByte], c.Type) << c.Payload;
        EXPECT_EQ(m.Text, c.Text) << c.Payload;
    }
}

// Every payload that must be refused, with a word of the reason it must give.
TEST(MqttPayload, BadInputIsRefusedWithItsReason) {
    const std::string tooLong(501, 'x');
    const struct {
        BridgeCommand Command;
        std::string Payload;
        const char* Reason;
    } cases[] = {
        {BridgeCommand::Message, "\xff\xfe", "UTF-8"},
        {BridgeCommand::Message, "Ω", "code page 1250"},
        {BridgeCommand::Message, tooLong, "cells"},
        {BridgeCommand::Message, "a{time", "unbalanced"},
        {BridgeCommand::Message, "{tim} a", "unknown field"},
        {BridgeCommand::Message, "{\"text\": ", "bad JSON"},
        {BridgeCommand::Message, "{\"text\": \"\xff\"}", "bad JSON"},
        {BridgeCommand::Message, R"({"txt": "a"})", "unknown key \"txt\""},
        {BridgeCommand::Message, R"({"font": 2})", "no \"text\""},
        {BridgeCommand::Message, R"({"text": 5})", "\"text\" must be"},
        {BridgeCommand::Message, R"({"text": "a", "slot": 0})", "\"slot\""},
        {BridgeCommand::Message, R"({"text": "a", "slot": 10})", "\"slot\""},
        {BridgeCommand::Message, R"({"text": "a", "slot": "9"})", "\"slot\""},
        {BridgeCommand::Message, R"({"text": "a", "font": 0})", "\"font\""},
        {BridgeCommand::Message, R"({"text": "a", "font": 6})", "\"font\""},
        {BridgeCommand::Message, R"({"text": "a", "static": 1})", "\"static\""},
        {BridgeCommand::Message, std::string(kMaxPayloadBytes + 1, 'a'), "at most 65536"},
        {BridgeCommand::Set, R"(["1","2","3","4","5","6","7"])", "exactly 8"},
        {BridgeCommand::Set, R"(["1","2","3","4","5","6","7","8","9"])", "exactly 8"},
        {BridgeCommand::Set, R"({"text": "a"})", "exactly 8"},
        {BridgeCommand::Set, R"(["1","2","3","4","5","6","7",{"text":"a","slot":2}])",
         "message 8 of the set: \"slot\" is not allowed"},
        {BridgeCommand::Set, R"(["1","2",3,"4","5","6","7","8"])", "message 3"},
        {BridgeCommand::Set, "Promocja", "bad JSON"},
        {BridgeCommand::Show, "0", "1..9"},
        {BridgeCommand::Show, "10", "1..9"},
        {BridgeCommand::Show, "x", "1..9"},
        {BridgeCommand::Show, "", "1..9"},
    };
    for (const auto& c : cases) {
        ParsedMessage message;
        std::array<ParsedMessage, 8> set;
        int slot = 0;
        const std::string reason =
            c.Command == BridgeCommand::Message ? ParseMessagePayload(c.Payload, message)
            : c.Command == BridgeCommand::Set   ? ParseSetPayload(c.Payload, set)
                                                : ParseShowPayload(c.Payload, slot);
        EXPECT_NE(reason.find(c.Reason), std::string::npos)
            << c.Payload.substr(0, 60) << " -> " << reason;
    }
}

TEST(MqttPayload, SetsAndShows) {
    std::array<ParsedMessage, 8> set;
    ASSERT_EQ(ParseSetPayload(R"(["a", "", {"text": "c", "font": 2, "static": true},
                                  "d", "e", "f", "g", "h"])",
                              set),
              "");
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(set[static_cast<std::size_t>(i)].Slot, i + 1);
    }
    EXPECT_EQ(set[1].Text, "");
    EXPECT_EQ(set[1].Bytes[0], 0); // an empty text empties its slot
    EXPECT_EQ(set[2].Bytes[0], 2);
    EXPECT_EQ(set[2].Bytes[kTypeByte], 1);
    int slot = 0;
    EXPECT_EQ(ParseShowPayload("7\n", slot), "");
    EXPECT_EQ(slot, 7);
}

#ifdef LEDSIGN_HAVE_MQTT

struct ConfigRun {
    bool Ok = false;
    MqttConfig Config;
    FileProblem Problem;
};

class MqttConfigFile : public ::testing::Test {
protected:
    ConfigRun Read(const std::string& text, const std::string& credentials = "") {
        test_files::WriteText(dir_ / "mqtt.conf", text);
        ConfigRun run;
        run.Ok =
            ReadMqttConfig(dir_ / "mqtt.conf", credentials, "kasa-pc", run.Config, run.Problem);
        return run;
    }
    test_files::ScratchDir dir_;
};

TEST_F(MqttConfigFile, BrokersAndDefaults) {
    const struct {
        const char* Broker;
        const char* Host;
        int Port;
        bool Tls;
    } cases[] = {
        {"mqtt://broker", "broker", 1883, false},
        {"mqtt://broker:1884", "broker", 1884, false},
        {"mqtts://broker.example", "broker.example", 8883, true},
        {"mqtts://10.0.0.1:9000/", "10.0.0.1", 9000, true},
        {"mqtt://[::1]:1999", "::1", 1999, false},
    };
    for (const auto& c : cases) {
        const ConfigRun run = Read(std::string("broker = ") + c.Broker + "\n");
        ASSERT_TRUE(run.Ok) << c.Broker << ": " << run.Problem.Describe("configuration");
        EXPECT_EQ(run.Config.Host, c.Host);
        EXPECT_EQ(run.Config.Port, c.Port);
        EXPECT_EQ(run.Config.Tls, c.Tls);
    }
    const ConfigRun run = Read("broker = mqtt://b\n");
    EXPECT_EQ(run.Config.ClientId, "ledsign-kasa-pc");
    EXPECT_EQ(run.Config.TopicPrefix, "ledsign");
    EXPECT_EQ(run.Config.HaPrefix, "homeassistant");
    EXPECT_FALSE(run.Config.HaDiscovery);
    EXPECT_TRUE(run.Config.Signs.empty());
}

// Each bad configuration names its line and its reason.
TEST_F(MqttConfigFile, ProblemsNameLineAndReason) {
    test_files::WriteText(dir_ / "ca.pem", "x");
    const struct {
        std::string Text;
        int Line;
        const char* Reason;
    } cases[] = {
        {"broker = http://b\n", 1, "bad broker"},
        {"broker = mqtt://b:0\n", 1, "bad broker"},
        {"broker = mqtt://b:70000\n", 1, "bad broker"},
        {"broker = mqtt://\n", 1, "bad broker"},
        {"broker = mqtt://b\npassword = geheim\n", 2, "password-file"},
        {"broker = mqtt://b\nbrokr = x\n", 2, "unknown key 'brokr'"},
        {"broker = mqtt://b\nbroker = mqtt://c\n", 2, "second time"},
        {"broker = mqtt://b\nca-file = ca.pem\n", 2, "mqtts://"},
        {"broker = mqtts://b\ncert-file = ca.pem\n", 2, "go together"},
        {"broker = mqtts://b\nca-file = none.pem\n", 2, "none.pem"},
        {"broker = mqtt://b\npassword-file = p\n", 2, "needs a username"},
        {"broker = mqtt://b\nusername = u\npassword-file = missing\n", 3, "missing"},
        {"broker = mqtt://b\nclient-id = a/b\n", 2, "client-id"},
        {"broker = mqtt://b\ntopic-prefix = a/+/b\n", 2, "topic-prefix"},
        {"broker = mqtt://b\ntopic-prefix = a//b\n", 2, "topic-prefix"},
        {"broker = mqtt://b\nha-discovery = tak\n", 2, "yes or no"},
        {"broker = mqtt://b\nprobe-interval = 0\n", 2, "probe-interval"},
        {"client-id = x\n", 0, "no 'broker'"},
        {"broker mqtt://b\n", 1, "key = value"},
    };
    for (const auto& c : cases) {
        const ConfigRun run = Read(c.Text);
        ASSERT_FALSE(run.Ok) << c.Text;
        EXPECT_EQ(run.Problem.Line, c.Line) << c.Text;
        EXPECT_NE(run.Problem.Reason.find(c.Reason), std::string::npos)
            << c.Text << " -> " << run.Problem.Reason;
    }
}

TEST_F(MqttConfigFile, SecretsComeFromTheCredentialsFolderWhenItIsSet) {
    const std::string credentials = dir_ / "credentials";
    std::filesystem::create_directory(credentials);
    test_files::WriteText(credentials + "/pass", "z-credentials\r\nsecond line\n");
    test_files::WriteText(dir_ / "pass", "z-config-folder\n");
    ::chmod((dir_ / "pass").c_str(), 0600);
    ::chmod((credentials + "/pass").c_str(), 0644);
    const std::string text = "broker = mqtt://b\nusername = u\npassword-file = pass\nsigns = kasa, "
                             "wejscie  biuro\n";
    ConfigRun run = Read(text, credentials);
    ASSERT_TRUE(run.Ok) << run.Problem.Describe("configuration");
    EXPECT_EQ(run.Config.Password, "z-credentials");
    ASSERT_EQ(run.Config.Warnings.size(), 1u); // readable by others
    EXPECT_EQ(run.Config.Signs, (std::vector<std::string>{"kasa", "wejscie", "biuro"}));
    run = Read(text);
    ASSERT_TRUE(run.Ok);
    EXPECT_EQ(run.Config.Password, "z-config-folder");
    EXPECT_TRUE(run.Config.Warnings.empty());
}

#endif

} // namespace
