// The agent's run for each event code, in this process against the
// simulated key and the prefix's real user stores.
#include "app/event_codes.h"
#include "app/key_handler.h"
#include "csp/csp_binding.h"
#include "events/event_names.h"
#include "events/shared_block.h"
#include "simkey_control.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"

#include <gtest/gtest.h>

#include <map>

using namespace testing_support;
using namespace agent;

namespace {

// The provider's certificates of a store: container name -> key spec.
std::map<std::string, DWORD> Registered(const wchar_t* storeName) {
    std::map<std::string, DWORD> out;
    win::CertStore s(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName));
    for (PCCERT_CONTEXT c = nullptr; s && (c = ::CertEnumCertificatesInStore(s.get(), c)) != nullptr;) {
        BYTE room[2048];
        DWORD n = sizeof room;
        if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, room, &n)) continue;
        auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(room);
        std::wstring name = info->pwszContainerName;
        out[std::string(name.begin(), name.end())] = info->dwKeySpec;
    }
    return out;
}

json KeyStateOrNull(const std::string& serial) {
    const json state = SimKeyOk({{"op", "state"}});
    for (const json& k : state["keys"])
        if (k["serial"] == serial) return k;
    return nullptr;
}

class KeyHandlerRun : public CleanKeyState {
protected:
    void SetUp() override {
        CleanKeyState::SetUp();
        token = LoadTokenBinding();
        FollowUps f;
        f.launchEbanking = [this](uint32_t slot, const token::DeviceInfo&) { launched.push_back(slot); };
        f.pinChangeLogin = [this](uint32_t slot, const token::DeviceInfo&) { pinChanges.push_back(slot); };
        f.notifyTool = [this](WPARAM w, LPARAM l) { notified.emplace_back(w, l); };
        handler = std::make_unique<KeyHandler>(token, f);
        // A waiting application's events, as WaitForKeyEvent creates them.
        arrival.reset(::CreateEventW(nullptr, TRUE, FALSE, events::kLibraryArrivalEvent));
        removal.reset(::CreateEventW(nullptr, TRUE, FALSE, events::kLibraryRemovalEvent));
    }
    void TearDown() override {
        handler.reset();
        FreeTokenBinding(token);
    }
    // A key with an RSA-2048 signing pair and an SM2 exchange pair.
    std::pair<std::string, std::string> KeyWithTwoCerts(const std::string& serial, const std::string& csp,
                                                        json options = json::object(), bool plug = true) {
        options["cspName"] = csp;
        CreateKey(serial, options, plug);
        return {AddContainer(serial, {{"algorithm", "rsa2048"}}),
                AddContainer(serial, {{"algorithm", "sm2"}, {"kind", 3}, {"keySpec", 1}})};
    }
    bool Signalled(const win::Handle& e) {
        bool s = ::WaitForSingleObject(e.get(), 0) == WAIT_OBJECT_0;
        ::ResetEvent(e.get());
        return s;
    }
    void StaleCert(const std::string& container) {
        if (KeyStateOrNull("STALE-SOURCE").is_null()) CreateKey("STALE-SOURCE", json::object(), false);
        std::string c = AddContainer("STALE-SOURCE", {{"algorithm", "rsa1024"}});
        std::string der = HexToBytes(PairOf("STALE-SOURCE", c, 2)["certHex"]);
        ASSERT_EQ(store::AddCertToStore(kProviderName, 1, container.c_str(), 2,
                                        reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())),
                  0u);
    }
    TokenBinding token;
    std::unique_ptr<KeyHandler> handler;
    std::vector<uint32_t> launched, pinChanges;
    std::vector<std::pair<WPARAM, LPARAM>> notified;
    win::Handle arrival, removal;
};

TEST_F(KeyHandlerRun, StartupSweepsTheProviderThenRegistersThePresentKey) {
    StaleCert("\\\\.\\Quorvell LEFTOVER\\{old}");
    StaleCert("some-other-naming");
    auto [rsa, sm2] = KeyWithTwoCerts("START-KEY-0001", "QVLSTART01");
    handler->ProcessEventCode(kCodeStartup);

    const std::string reader = "\\\\.\\Quorvell QVLSTART01\\";
    EXPECT_EQ(Registered(L"MY"), (std::map<std::string, DWORD>{{reader + rsa, 2}}));
    EXPECT_EQ(Registered(L"addressbook"), (std::map<std::string, DWORD>{{reader + sm2, 1}}));
    events::KeyEventRecord record = events::ProcessBlock().ReadKeyEvent();
    EXPECT_EQ(record.sequence, 1u);
    EXPECT_EQ(record.serial, "START-KEY-0001");
    EXPECT_FALSE(Signalled(arrival));  // a startup scan sets no event
    EXPECT_EQ(launched, std::vector<uint32_t>{KeyState("START-KEY-0001")["slot"].get<uint32_t>()});
    EXPECT_EQ(notified, (std::vector<std::pair<WPARAM, LPARAM>>{{0x8000, 537}}));
    ASSERT_EQ(handler->records().size(), 1u);
    EXPECT_EQ(handler->records()[0].cspReader, reader);
}

TEST_F(KeyHandlerRun, ArrivalAndRemovalOfTwoKeys) {
    auto [a1, a2] = KeyWithTwoCerts("TWO-KEY-A", "QVLTWOA");
    handler->ProcessEventCode(kCodeStartup);
    auto [b1, b2] = KeyWithTwoCerts("TWO-KEY-B", "QVLTWOB", json::object(), false);
    Plug("TWO-KEY-B");
    notified.clear();
    launched.clear();

    handler->ProcessEventCode(kCodeArrival);
    EXPECT_TRUE(Signalled(arrival));
    EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().serial, "TWO-KEY-B");
    EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().sequence, 2u);
    EXPECT_EQ(Registered(L"MY").size(), 2u);
    EXPECT_EQ(Registered(L"addressbook").size(), 2u);
    EXPECT_EQ(notified.back().first, 0x8000u);
    EXPECT_EQ(launched.size(), 1u);

    // The same arrival again: both keys are known, nothing happens.
    notified.clear();
    handler->ProcessEventCode(kCodeArrival);
    EXPECT_TRUE(notified.empty());
    EXPECT_FALSE(Signalled(arrival));

    Unplug("TWO-KEY-A");
    handler->ProcessEventCode(kCodeRemoval);
    EXPECT_TRUE(Signalled(removal));
    EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().serial, "TWO-KEY-A");
    EXPECT_EQ(Registered(L"MY"), (std::map<std::string, DWORD>{{"\\\\.\\Quorvell QVLTWOB\\" + b1, 2}}));
    EXPECT_EQ(notified.back().first, 0x8004u);

    // The last key pulled: every certificate of the provider goes.
    StaleCert("some-other-naming");
    Unplug("TWO-KEY-B");
    handler->ProcessEventCode(kCodeRemoval);
    EXPECT_TRUE(Registered(L"MY").empty());
    EXPECT_TRUE(Registered(L"addressbook").empty());
    EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().serial, "TWO-KEY-B");
}

TEST_F(KeyHandlerRun, RefreshRegistersAgainOnlyWhatTheKeySaysChanged) {
    auto [rsa, sm2] = KeyWithTwoCerts("REFRESH-KEY-1", "QVLREFRESH");
    handler->ProcessEventCode(kCodeStartup);
    const uint32_t seq = handler->sequence();
    store::RemoveProviderCerts(kProviderName, 1, nullptr, 0);  // taken out behind the agent's back
    notified.clear();

    handler->ProcessEventCode(kCodeRefresh);
    EXPECT_TRUE(Registered(L"MY").empty());
    EXPECT_EQ(handler->sequence(), seq);
    EXPECT_TRUE(notified.empty());

    uint32_t one = 1;
    token.manTokenParam(KeyState("REFRESH-KEY-1")["slot"].get<uint32_t>() | token::kSlotFlag, token::kParamKeyChanged, &one);
    handler->ProcessEventCode(kCodeRefresh);
    EXPECT_EQ(Registered(L"MY").size(), 1u);
    EXPECT_TRUE(launched.size() == 1);  // a refresh does not open the bank's page again
    EXPECT_EQ(notified.size(), 1u);
}

TEST_F(KeyHandlerRun, ModelFollowUps) {
    CreateKey("MODEL-6120", {{"model", "6120"}});
    CreateKey("MODEL-6156", {{"model", "6156"}, {"mustChangePin", true}});
    BYTE set[2] = {static_cast<BYTE>(KeyState("MODEL-6156")["slot"].get<int>()), 1};
    ASSERT_EQ(csp::CspProviderParam(csp::kParamPinTimeoutSet, false, "", 0, set, nullptr), 0u);
    handler->ProcessEventCode(kCodeStartup);
    EXPECT_EQ(KeyState("MODEL-6120")["signWayCalls"], 2);  // through the binding and through a fresh load
    EXPECT_EQ(KeyState("MODEL-6156")["signWayCalls"], 0);
    EXPECT_FALSE(KeyState("MODEL-6156")["pinTimeout"].get<bool>());
    EXPECT_EQ(pinChanges, std::vector<uint32_t>{KeyState("MODEL-6156")["slot"].get<uint32_t>()});
    EXPECT_EQ(launched.size(), 1u);  // one launcher for the run: the last key
    EXPECT_EQ(launched[0], KeyState("MODEL-6156")["slot"].get<uint32_t>());
}

TEST_F(KeyHandlerRun, ResumeForgetsAndRegistersEveryKeyAgain) {
    auto [rsa, sm2] = KeyWithTwoCerts("RESUME-KEY-1", "QVLRESUME");
    handler->ProcessEventCode(kCodeStartup);
    StaleCert("\\\\.\\Quorvell GONE\\{x}");
    handler->ProcessEventCode(kCodeResume);
    EXPECT_EQ(Registered(L"MY"), (std::map<std::string, DWORD>{{"\\\\.\\Quorvell QVLRESUME\\" + rsa, 2}}));
    EXPECT_EQ(handler->sequence(), 3u);  // the dropped record and the new one
    StaleCert("\\\\.\\Quorvell GONE\\{x}");
    handler->ProcessEventCode(kCodeSessionConnect);  // no provider sweep on a session connect
    EXPECT_EQ(Registered(L"MY").size(), 2u);
}

TEST_F(KeyHandlerRun, ClearUnusedKeepsOnlyPresentKeysCertificates) {
    auto [rsa, sm2] = KeyWithTwoCerts("CLEAR-KEY-1", "QVLCLEAR");
    handler->ProcessEventCode(kCodeStartup);
    StaleCert("\\\\.\\Quorvell GONE\\{x}");
    StaleCert("old:\\\\.\\Quorvell QVLCLEAR\\{y}");  // holds the present reader's name: kept
    handler->ClearUnusedCertificates(1);
    auto my = Registered(L"MY");
    EXPECT_EQ(my.size(), 2u);
    EXPECT_EQ(my.count("\\\\.\\Quorvell GONE\\{x}"), 0u);
}

TEST(KeyHandlerWithoutToken, DoesNothing) {
    TokenBinding none;
    std::vector<int> calls;
    FollowUps f;
    f.notifyTool = [&](WPARAM, LPARAM) { calls.push_back(1); };
    KeyHandler h(none, f);
    h.ProcessEventCode(kCodeStartup);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(h.sequence(), 0u);
}

}  // namespace
