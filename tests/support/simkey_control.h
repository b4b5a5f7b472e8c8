// Test access to the simulated key: its control interface (the engine in
// the prefix's system directory) and a fixture that starts every test from a
// clean state.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <string>

namespace testing_support {

using nlohmann::json;

// One call of the engine's control interface.
json SimKey(const json& request);
// The same, asserting success; the answer.
json SimKeyOk(const json& request);

// Makes a key (options as simkey create takes them, field names of the
// engine: model, cspName, pin, retryLimit, flags, label...), plugged in
// unless plug is false.
json CreateKey(const std::string& serial, json options = json::object(), bool plug = true);
void Plug(const std::string& serial);
void Unplug(const std::string& serial);
void PadAnswers(const json& answers);
json KeyState(const std::string& serial);
// Adds a container with one pair to a key (options as simkey container add
// takes them: algorithm rsa1024|rsa2048|sm2, kind, keySpec, cert, cn...);
// the new container's name.
std::string AddContainer(const std::string& serial, json options = json::object());
// A pair of a container, as the state shows it.
json PairOf(const std::string& serial, const std::string& container, int keySpec);
std::string HexToBytes(const std::string& hex);
json PadCalls();

// The folder of the running test program (with a trailing backslash).
std::wstring ProgramDir();

// Deletes every certificate of the current user's "MY" and "addressbook".
void EmptyUserStores();

// Clean start for every test: no simulated keys, no PIN-pad script or
// recorded calls, no per-user product values, empty user stores.
class CleanKeyState : public ::testing::Test {
protected:
    void SetUp() override;
};

}  // namespace testing_support
