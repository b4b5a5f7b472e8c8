// The tray agent as a program of its own: started, plugged at, asked by
// other processes, and ended, with real processes under Wine.
#include "app/agent_worker.h"
#include "app/event_codes.h"
#include "config/product.h"
#include "events/event_names.h"
#include "events/shared_block.h"
#include "lang/language_texts.h"
#include "library.h"
#include "message_window.h"
#include "process.h"
#include "simkey_control.h"
#include "store/cert_store.h"
#include "tasks/schtasks_record.h"
#include "win/crypt_handles.h"
#include "win/registry.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <future>

using namespace testing_support;

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";

// The provider's certificates of a store, by container name.
std::vector<std::string> Registered(const wchar_t* storeName) {
    std::vector<std::string> out;
    win::CertStore s(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName));
    for (PCCERT_CONTEXT c = nullptr; s && (c = ::CertEnumCertificatesInStore(s.get(), c)) != nullptr;) {
        BYTE room[2048];
        DWORD n = sizeof room;
        if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, room, &n)) continue;
        std::wstring name = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(room)->pwszContainerName;
        out.emplace_back(name.begin(), name.end());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Polls until the condition holds (at most timeoutMs).
template <typename Condition>
bool Eventually(Condition condition, DWORD timeoutMs = 10000) {
    for (DWORD waited = 0;; waited += 25) {
        if (condition()) return true;
        if (waited >= timeoutMs) return false;
        ::Sleep(25);
    }
}

HWND AgentWindow() { return ::FindWindowW(events::kAgentWindowClass, events::kAgentWindowTitle); }

// An agent process started from the build's bin folder.
class AgentProcess {
public:
    explicit AgentProcess(const std::wstring& arguments = L"") {
        std::wstring cmd = L"\"" + ProgramDir() + L"K2Svr_VELTA.exe\" " + arguments;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
            ::CloseHandle(pi_.hThread);
            started_ = true;
        }
    }
    ~AgentProcess() { End(); }
    bool WaitForWindow() const { return started_ && Eventually([] { return AgentWindow() != nullptr; }); }
    // Closes the agent window as "kill" would, and waits for the process.
    int End() {
        if (!started_) return -1;
        started_ = false;
        if (HWND w = AgentWindow()) ::PostMessageW(w, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(pi_.hProcess, 15000) != WAIT_OBJECT_0) ::TerminateProcess(pi_.hProcess, 99);
        DWORD code = 0;
        ::GetExitCodeProcess(pi_.hProcess, &code);
        ::CloseHandle(pi_.hProcess);
        return static_cast<int>(code);
    }
    bool Running() const { return started_ && ::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

// The environment every agent test runs in: recording stand-ins for
// schtasks and the browsers, English texts, the key tool's window.
class AgentSystem : public CleanKeyState {
protected:
    const wchar_t* iePath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";
    void SetUp() override {
        CleanKeyState::SetUp();
        ASSERT_EQ(AgentWindow(), nullptr) << "an agent from another test still runs";
        ASSERT_TRUE(win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueLangId, 1033));
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        browserRecord = std::wstring(temp) + L"ukey_agent_browser.rec";
        ::DeleteFileW(browserRecord.c_str());
        ::SetEnvironmentVariableW(L"UKEY_FAKE_BROWSER_RECORD", browserRecord.c_str());
        savedIe = win::ReadString(HKEY_LOCAL_MACHINE, iePath, nullptr);
        ASSERT_TRUE(win::WriteString(HKEY_LOCAL_MACHINE, iePath, nullptr, ProgramDir() + L"fake_browser.exe"));
        notifyMessage = ::RegisterWindowMessageW(L"{4E8A2C71-9B3D-4f06-B5E2-8C17E5A9F360}_VELTA");
        tool = std::make_unique<MessageWindow>(lang::ReadLanguageText(1033, L"STR_ID_USER_TOOL_DESC"),
                                               std::vector<UINT>{notifyMessage});
        schtasks = std::make_unique<tasks_testing::SchtasksStandIn>();
    }
    void TearDown() override {
        if (HWND w = AgentWindow()) ::PostMessageW(w, WM_CLOSE, 0, 0);
        Eventually([] { return AgentWindow() == nullptr; });
        if (savedIe) win::WriteString(HKEY_LOCAL_MACHINE, iePath, nullptr, *savedIe);
        tool.reset();
        schtasks.reset();
    }
    // WaitForKeyEvent of this process on a thread of its own.
    using WaitResult = std::tuple<int, unsigned, std::string>;
    static std::future<WaitResult> StartWait() {
        return std::async(std::launch::async, [] {
            unsigned type = 9;
            char serial[32] = {};
            int len = sizeof serial;
            int r = Api().WaitForKeyEvent(&type, serial, &len);
            return std::make_tuple(r, type, std::string(serial));
        });
    }
    // The wait's events exist once its stop event does. A wait that does not
    // start or end in time is stopped, so that the test fails instead of
    // hanging.
    static bool Waiting() {
        bool in = Eventually([] {
            win::Handle stop(::OpenEventW(SYNCHRONIZE, FALSE, events::StopEventName(::GetCurrentProcessId()).c_str()));
            return static_cast<bool>(stop);
        });
        if (!in) Api().StopDetectUKey();
        return in;
    }
    static bool Ended(std::future<WaitResult>& f) {
        if (f.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return true;
        Api().StopDetectUKey();
        return false;
    }
    std::vector<ReceivedMessage> ToolNotes() const {
        std::vector<ReceivedMessage> notes;
        for (const ReceivedMessage& m : tool->Received())
            if (m.message == notifyMessage) notes.push_back(m);
        return notes;
    }
    // A key with an RSA certificate and an SM2 one.
    std::pair<std::string, std::string> MakeKey(const std::string& serial, const std::string& csp, bool plug,
                                                json options = json::object()) {
        options["cspName"] = csp;
        options["notify"] = false;
        CreateKey(serial, options, plug);
        return {"\\\\.\\Quorvell " + csp + "\\" + AddContainer(serial, {{"algorithm", "rsa1024"}}),
                "\\\\.\\Quorvell " + csp + "\\" + AddContainer(serial, {{"algorithm", "sm2"}})};
    }
    std::wstring browserRecord;
    std::optional<std::wstring> savedIe;
    UINT notifyMessage = 0;
    std::unique_ptr<MessageWindow> tool;
    std::unique_ptr<tasks_testing::SchtasksStandIn> schtasks;
};

TEST_F(AgentSystem, StartWithAKeyPresent) {
    auto [rsa, sm2] = MakeKey("AGENT-START-01", "QVLAGSTART", true);
    AgentProcess agent;
    ASSERT_TRUE(agent.WaitForWindow());
    ASSERT_TRUE(Eventually([&] { return Registered(L"MY").size() == 1 && Registered(L"addressbook").size() == 1; }));
    EXPECT_EQ(Registered(L"MY"), std::vector<std::string>{rsa});
    EXPECT_EQ(Registered(L"addressbook"), std::vector<std::string>{sm2});
    events::KeyEventRecord r = events::ProcessBlock().ReadKeyEvent();
    EXPECT_EQ(r.sequence, 1u);
    EXPECT_EQ(r.serial, "AGENT-START-01");
    ASSERT_TRUE(tool->WaitFor(notifyMessage, 1, 5000));
    EXPECT_EQ(ToolNotes()[0].wParam, 0x8000u);
    EXPECT_EQ(ToolNotes()[0].lParam, 537);
    // The guard task, for the agent's own program, every minute.
    std::vector<std::wstring> commands = schtasks->Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_NE(commands[0].find(L"/Create /TN \"VELTA_UKEY_GUARD_QVL\" /TR \"'"), std::wstring::npos) << commands[0];
    EXPECT_NE(commands[0].find(L"K2Svr_VELTA.exe' ClearUnuseCert\" /SC MINUTE /MO 1 /RL HIGHEST /F"),
              std::wstring::npos)
        << commands[0];
    // The e-banking launcher opened the bank's page.
    EXPECT_TRUE(Eventually([&] { return ::GetFileAttributesW(browserRecord.c_str()) != INVALID_FILE_ATTRIBUTES; }));

    // Stopping clears the provider's certificates, the per-user text values
    // and deletes the guard task.
    ASSERT_TRUE(win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiLang, 1054));
    ASSERT_TRUE(win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiSupport, 0x300));
    EXPECT_EQ(agent.End(), 0);
    EXPECT_FALSE(win::ReadDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiLang).has_value());
    EXPECT_FALSE(win::ReadDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueUiSupport).has_value());
    EXPECT_TRUE(win::ReadDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueLangId).has_value());
    EXPECT_TRUE(Registered(L"MY").empty());
    EXPECT_TRUE(Registered(L"addressbook").empty());
    commands = schtasks->Commands();
    EXPECT_NE(commands.back().find(L"/Delete /TN \"VELTA_UKEY_GUARD_QVL\""), std::wstring::npos);
    EXPECT_EQ(ToolNotes().back().wParam, 0u);
    EXPECT_EQ(ToolNotes().back().lParam, 16);
}

TEST_F(AgentSystem, PlugAndPullWakeAWaitingApplication) {
    AgentProcess agent;
    ASSERT_TRUE(agent.WaitForWindow());
    auto [rsa, sm2] = MakeKey("AGENT-PLUG-01", "QVLAGPLUG", false);
    auto arrival = StartWait();
    ASSERT_TRUE(Waiting());
    ASSERT_EQ(RunProgram(L"simkey.exe", L"plug AGENT-PLUG-01"), 0);
    ASSERT_TRUE(Ended(arrival));
    EXPECT_EQ(arrival.get(), std::make_tuple(0, 1u, std::string("AGENT-PLUG-01")));
    EXPECT_TRUE(Eventually([&] { return Registered(L"MY") == std::vector<std::string>{rsa}; }));

    auto removal = StartWait();
    ASSERT_TRUE(Waiting());
    ASSERT_EQ(RunProgram(L"simkey.exe", L"unplug AGENT-PLUG-01"), 0);
    ASSERT_TRUE(Ended(removal));
    EXPECT_EQ(removal.get(), std::make_tuple(0, 2u, std::string("AGENT-PLUG-01")));
    EXPECT_TRUE(Eventually([&] { return Registered(L"MY").empty() && Registered(L"addressbook").empty(); }));
    EXPECT_EQ(ToolNotes().back().wParam, 0x8004u);
}

// Sends a device-interface broadcast to the agent's window as Windows would.
void SendDeviceChange(WPARAM what, const std::wstring& name) {
    std::vector<BYTE> buf(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * 2);
    auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buf.data());
    b->dbcc_size = static_cast<DWORD>(buf.size());
    b->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    name.copy(b->dbcc_name, name.size());
    b->dbcc_name[name.size()] = 0;
    ::SendMessageW(AgentWindow(), WM_DEVICECHANGE, what, reinterpret_cast<LPARAM>(b));
}

TEST_F(AgentSystem, OnlyTheMakersDevicesCount) {
    auto [first, firstSm2] = MakeKey("AGENT-VENDOR-0", "QVLAGVEND0", true);
    AgentProcess agent;
    ASSERT_TRUE(agent.WaitForWindow());
    ASSERT_TRUE(Eventually([&] { return Registered(L"MY").size() == 1; }));  // the startup scan is over
    auto [rsa, sm2] = MakeKey("AGENT-VENDOR-1", "QVLAGVEND1", true);        // plugged without a broadcast
    SendDeviceChange(DBT_DEVICEARRIVAL, L"\\\\?\\USB#VID_1A2B&PID_0001#X#{50dd5230-ba8a-11d1-bf5d-0000f805f530}");
    ::Sleep(1000);
    EXPECT_EQ(Registered(L"MY"), std::vector<std::string>{first});
    SendDeviceChange(DBT_DEVICEARRIVAL, L"\\\\?\\USBSTOR#CdRom&Ven_QUORVELL&Prod_UKEY#1#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}");
    EXPECT_TRUE(Eventually([&] { return Registered(L"MY").size() == 2; }));
}

TEST_F(AgentSystem, ASecondInstanceEndsAtOnceAndLeavesTheFirst) {
    auto [rsa, sm2] = MakeKey("AGENT-SECOND-1", "QVLAGSECOND", true);
    AgentProcess first;
    ASSERT_TRUE(first.WaitForWindow());
    ASSERT_TRUE(Eventually([&] { return Registered(L"MY").size() == 1; }));
    EXPECT_EQ(RunProgram(L"K2Svr_VELTA.exe", L""), 1);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(Registered(L"MY"), std::vector<std::string>{rsa});
    EXPECT_NE(AgentWindow(), nullptr);
}

TEST_F(AgentSystem, ARestartedAgentIsHeardAgainThroughTheClearEvent) {
    MakeKey("AGENT-RESTART1", "QVLAGRESTART", false);
    {
        // The first agent: an arrival (1) and a removal (2) are delivered.
        AgentProcess agent;
        ASSERT_TRUE(agent.WaitForWindow());
        for (const wchar_t* step : {L"plug AGENT-RESTART1", L"unplug AGENT-RESTART1"}) {
            auto w = StartWait();
            ASSERT_TRUE(Waiting());
            ASSERT_EQ(RunProgram(L"simkey.exe", step), 0);
            ASSERT_TRUE(Ended(w));
            EXPECT_EQ(std::get<0>(w.get()), 0);
        }
        EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().sequence, 2u);
    }
    // A new agent counts from 1 again; its clear event makes this process
    // forget the 2 it delivered, so the new arrival with 1 is heard.
    AgentProcess again;
    ASSERT_TRUE(again.WaitForWindow());
    auto w = StartWait();
    ASSERT_TRUE(Waiting());
    ASSERT_EQ(RunProgram(L"simkey.exe", L"plug AGENT-RESTART1"), 0);
    ASSERT_TRUE(Ended(w));
    EXPECT_EQ(w.get(), std::make_tuple(0, 1u, std::string("AGENT-RESTART1")));
    EXPECT_EQ(events::ProcessBlock().ReadKeyEvent().sequence, 1u);
}

TEST_F(AgentSystem, TheRefreshEventReRegistersAChangedKey) {
    auto [rsa, sm2] = MakeKey("AGENT-REFRESH1", "QVLAGREFRESH", true);
    AgentProcess agent;
    ASSERT_TRUE(agent.WaitForWindow());
    ASSERT_TRUE(Eventually([&] { return Registered(L"MY").size() == 1; }));
    std::string added = AddContainer("AGENT-REFRESH1", {{"algorithm", "rsa1024"}});
    // The key says its objects changed, then somebody asks for a refresh.
    HMODULE tokenLib = ::LoadLibraryW(L"K2Token_VELTA.dll");
    auto param = reinterpret_cast<token::ManTokenParamFn>(::GetProcAddress(tokenLib, "PelkoT_ManTokenParam"));
    uint32_t one = 1;
    param(KeyState("AGENT-REFRESH1")["slot"].get<uint32_t>() | token::kSlotFlag, token::kParamKeyChanged, &one);
    ::FreeLibrary(tokenLib);
    win::Handle refresh(::OpenEventW(EVENT_MODIFY_STATE, FALSE, events::kAgentRefreshEvent));
    ASSERT_TRUE(refresh);
    ::SetEvent(refresh.get());
    EXPECT_TRUE(Eventually([&] { return Registered(L"MY").size() == 2; }));
}

TEST_F(AgentSystem, MaintenanceWords) {
    // "kill" with no agent: the guard task goes, the program ends with 1.
    EXPECT_EQ(RunProgram(L"K2Svr_VELTA.exe", L"kill"), 1);
    EXPECT_NE(schtasks->Commands().back().find(L"/Delete /TN \"VELTA_UKEY_GUARD_QVL\""), std::wstring::npos);

    // "ClearUnuseCert" with no agent: this process becomes the agent.
    auto [rsa, sm2] = MakeKey("AGENT-WORDS-01", "QVLAGWORDS", true);
    AgentProcess agent(L"ClearUnuseCert");
    ASSERT_TRUE(agent.WaitForWindow());
    ASSERT_TRUE(Eventually([&] { return Registered(L"MY").size() == 1; }));

    // "ClearUnuseCert" with an agent: it clears what no present key owns.
    CreateKey("AGENT-WORDS-02", {{"notify", false}}, false);
    std::string c = AddContainer("AGENT-WORDS-02", {{"algorithm", "rsa1024"}});
    std::string der = HexToBytes(PairOf("AGENT-WORDS-02", c, 2)["certHex"]);
    ASSERT_EQ(store::AddCertToStore(kProvider, 1, "\\\\.\\Quorvell QVLGONE\\{gone}", 2,
                                    reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())),
              0u);
    ASSERT_EQ(Registered(L"MY").size(), 2u);
    EXPECT_EQ(RunProgram(L"K2Svr_VELTA.exe", L"ClearUnuseCert"), 1);
    EXPECT_TRUE(Eventually([&] { return Registered(L"MY") == std::vector<std::string>{rsa}; }));

    // "kill" with an agent: it closes, its certificates go.
    EXPECT_EQ(RunProgram(L"K2Svr_VELTA.exe", L"kill"), 1);
    EXPECT_TRUE(Eventually([] { return AgentWindow() == nullptr; }));
    EXPECT_TRUE(Registered(L"MY").empty());
}

TEST(AgentWorker, ABurstOfNotificationsCollapses) {
    ASSERT_TRUE(SimKeyOk({{"op", "reset"}}).value("ok", false));
    CreateKey("BURST-KEY-0001", {{"notify", false}});
    AddContainer("BURST-KEY-0001", {{"algorithm", "rsa1024"}});
    agent::FollowUps quiet;
    agent::AgentWorker worker(quiet);
    tasks_testing::SchtasksStandIn schtasks;
    ASSERT_TRUE(worker.Start(0, ProgramDir() + L"K2Svr_VELTA.exe"));
    ASSERT_TRUE(Eventually([&] { return worker.runs() == 1; }));
    for (int i = 0; i < 200; ++i) worker.Post(agent::kCodeArrival);
    // Quiet for half a second: the worker has taken what was pending.
    uint32_t last = 0;
    Eventually([&] {
        uint32_t now = worker.runs();
        bool still = now == last;
        last = now;
        return still && now > 1;
    }, 10000);
    EXPECT_GE(worker.runs(), 2u);
    EXPECT_LT(worker.runs(), 50u) << "each notification ran on its own";
    worker.Stop();
}

}  // namespace
