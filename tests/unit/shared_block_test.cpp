// Where the library and the agent meet: the shared information block (its
// layout, security, sessions) and the library's two requests to the agent.
// Session lists come from a stand-in table: Wine enumerates no sessions.
#include "events/shared_block.h"
#include "store/agent_link.h"
#include "win/handles.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using events::SharedBlock;

// The stand-in for the system's session answers.
struct FakeSessions {
    static inline bool vista = true;
    static inline DWORD own = 1;
    static inline std::optional<std::vector<DWORD>> list = std::vector<DWORD>{};
    static inline int ownCalls = 0;
    static inline int listCalls = 0;
};

constexpr events::SessionSystem kFake{
    [] { return FakeSessions::vista; },
    [] {
        ++FakeSessions::ownCalls;
        return FakeSessions::own;
    },
    [] {
        ++FakeSessions::listCalls;
        return FakeSessions::list;
    },
};

class SharedBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeSessions::vista = true;
        FakeSessions::own = 1;
        FakeSessions::list = std::vector<DWORD>{};
        FakeSessions::ownCalls = FakeSessions::listCalls = 0;
    }
    // A block of its own for every test, so that no other process's block
    // is touched.
    std::wstring Name() const {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string n = std::string(t->name());
        return L"TEST_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::wstring(n.begin(), n.end());
    }
    std::wstring MappingName(std::optional<DWORD> session) const {
        if (!session) return L"Global\\SecSharedMemory_FILE_VELTA_" + Name();
        return L"Session\\" + std::to_wstring(*session) + L"\\SecSharedMemory_FILE_VELTA_" + Name();
    }
    std::wstring MutexName() const { return L"Global\\SecSharedMemory_Mut_VELTA_" + Name(); }
    bool MappingExists(std::optional<DWORD> session) const {
        return win::Handle(::OpenFileMappingW(FILE_MAP_READ, FALSE, MappingName(session).c_str())).get() != nullptr;
    }
};

// A raw block: length field, then the payload bytes.
void PutRaw(uint8_t* block, size_t length, const std::vector<uint8_t>& payload) {
    block[0] = static_cast<uint8_t>(length >> 8);
    block[1] = static_cast<uint8_t>(length);
    std::memcpy(block + 2, payload.data(), payload.size());
}

TEST_F(SharedBlockTest, FreshBlockReadsAsZeroAndRecordsAreBigEndianWithoutBlanks) {
    // The system's own session answers, as Wine gives them.
    SharedBlock block(events::SystemSessions(), Name());
    ASSERT_TRUE(block.OpenOrCreate());
    ASSERT_NE(block.data(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(block.data(), block.data() + 1024), std::vector<uint8_t>(1024, 0));
    events::KeyEventRecord r = block.ReadKeyEvent();
    EXPECT_EQ(r.sequence, 0u);
    EXPECT_EQ(r.serial, "");
    DWORD own = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &own));
    EXPECT_TRUE(block.vistaOrLater());  // the prefix says Windows 7
    EXPECT_EQ(block.blockSession(), own);
    EXPECT_TRUE(MappingExists(own));

    ASSERT_TRUE(block.WriteKeyEvent(0x01020304, "AB12   "));
    const uint8_t expected[] = {0x00, 0x08, 0x01, 0x02, 0x03, 0x04, 'A', 'B', '1', '2', 0x00};
    EXPECT_EQ(std::vector<uint8_t>(block.data(), block.data() + sizeof expected),
              std::vector<uint8_t>(expected, expected + sizeof expected));

    // Another opener of the same name reads what was written.
    SharedBlock reader(events::SystemSessions(), Name());
    r = reader.ReadKeyEvent();
    EXPECT_EQ(r.sequence, 0x01020304u);
    EXPECT_EQ(r.serial, "AB12");
}

TEST_F(SharedBlockTest, ReaderTakesNoPayloadOverOneHundredBytesAndWriterNoSerialOverSixteen) {
    SharedBlock block(kFake, Name());
    ASSERT_TRUE(block.OpenOrCreate());
    struct Case {
        size_t length;
        uint32_t sequence;
        size_t serialChars;
    };
    // Payload: sequence 7, then 'S' up to the claimed length; nothing ends
    // the serial inside the 100 bytes in the second row.
    const Case cases[] = {
        {20, 7, 16},
        {100, 7, 96},
        {101, 0, 0},
        {0xFFFF, 0, 0},
    };
    for (const Case& c : cases) {
        std::memset(block.data(), 0, 1024);
        std::vector<uint8_t> payload = {0, 0, 0, 7};
        payload.resize(std::min<size_t>(c.length, 1000), 'S');
        PutRaw(block.data(), c.length, payload);
        events::KeyEventRecord r = block.ReadKeyEvent();
        EXPECT_EQ(r.sequence, c.sequence) << "length " << c.length;
        EXPECT_EQ(r.serial, std::string(c.serialChars, 'S')) << "length " << c.length;
    }

    ASSERT_TRUE(block.WriteKeyEvent(5, "ABCDEFGHIJKLMNOP   "));  // 16 once the blanks are cut
    EXPECT_FALSE(block.WriteKeyEvent(6, "ABCDEFGHIJKLMNOPQ"));
    events::KeyEventRecord r = block.ReadKeyEvent();
    EXPECT_EQ(r.sequence, 5u);
    EXPECT_EQ(r.serial, "ABCDEFGHIJKLMNOP");
}

// The ACEs of an object, as "TYPE MASK SID" (mask only for labels: the
// system maps the generic rights of the others).
std::vector<std::string> Aces(PACL acl, bool withMask) {
    std::vector<std::string> out;
    if (!acl) return out;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(acl, i, &ace)) break;
        auto* header = static_cast<ACE_HEADER*>(ace);
        // Allowed, denied and label ACEs share the layout: header, mask, SID.
        auto* body = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t* sid = nullptr;
        std::string text = std::to_string(header->AceType) + " ";
        if (withMask) text += std::to_string(body->Mask) + " ";
        if (::ConvertSidToStringSidW(reinterpret_cast<PSID>(&body->SidStart), &sid)) {
            for (wchar_t* p = sid; *p; ++p) text += static_cast<char>(*p);
            ::LocalFree(sid);
        }
        out.push_back(text);
    }
    return out;
}

TEST_F(SharedBlockTest, MutexAndMappingCarryTheObjectDescriptorAndTheLabelFromVistaOn) {
    const std::vector<std::string> dacl = {"1 S-1-5-2", "1 S-1-5-32-556", "1 S-1-5-20", "0 S-1-1-0"};
    struct Case {
        bool vista;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {true, {"17 1 S-1-16-4096"}},  // SYSTEM_MANDATORY_LABEL_ACE_TYPE, no write-up, low
        {false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vista ? "Vista and later" : "before Vista");
        FakeSessions::vista = c.vista;
        SharedBlock block(kFake, Name() + (c.vista ? L"_V" : L"_X"));
        ASSERT_TRUE(block.OpenOrCreate());
        const std::wstring suffix = c.vista ? L"_V" : L"_X";
        const std::wstring mapping = c.vista ? L"Session\\1\\SecSharedMemory_FILE_VELTA_" + Name() + suffix
                                             : L"Global\\SecSharedMemory_FILE_VELTA_" + Name() + suffix;
        win::Handle objects[] = {
            win::Handle(::OpenMutexW(READ_CONTROL, FALSE, (MutexName() + suffix).c_str())),
            win::Handle(::OpenFileMappingW(READ_CONTROL, FALSE, mapping.c_str())),
        };
        for (const win::Handle& h : objects) {
            ASSERT_TRUE(h) << ::GetLastError();
            PACL d = nullptr, s = nullptr;
            PSECURITY_DESCRIPTOR sd = nullptr;
            ASSERT_EQ(::GetSecurityInfo(h.get(), SE_KERNEL_OBJECT,
                                        DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, nullptr, nullptr, &d,
                                        &s, &sd),
                      static_cast<DWORD>(ERROR_SUCCESS));
            EXPECT_EQ(Aces(d, false), dacl);
            EXPECT_EQ(Aces(s, true), c.labels);
            ::LocalFree(sd);
        }
    }
}

TEST_F(SharedBlockTest, ViewOfAnEndedSessionIsDroppedAndTheNextUseOpensAgain) {
    // Session 0's block (Wine: Session\0 is Global); this block's maker
    // keeps the creation mutex and mapping open throughout.
    FakeSessions::own = 0;
    SharedBlock session0(kFake, Name());
    ASSERT_TRUE(session0.WriteKeyEvent(9, "SESSION0KEY"));
    ASSERT_EQ(session0.blockSession(), 0u);

    // A process of session 1 takes the first listed session that has a block.
    FakeSessions::own = 1;
    FakeSessions::list = std::vector<DWORD>{0, 1};
    SharedBlock reader(kFake, Name());
    SharedBlock writer(kFake, Name());
    EXPECT_EQ(reader.ReadKeyEvent().serial, "SESSION0KEY");
    EXPECT_EQ(reader.blockSession(), 0u);
    ASSERT_TRUE(writer.OpenOrCreate());
    EXPECT_EQ(writer.blockSession(), 0u);
    EXPECT_FALSE(MappingExists(1));

    // Session 0 still listed, or no list to be had: the view stays.
    EXPECT_EQ(reader.ReadKeyEvent().serial, "SESSION0KEY");
    FakeSessions::list = std::nullopt;
    EXPECT_EQ(reader.ReadKeyEvent().serial, "SESSION0KEY");
    EXPECT_EQ(reader.blockSession(), 0u);

    // Session 0 ends: a read drops the view and creates session 1's block...
    FakeSessions::list = std::vector<DWORD>{1};
    events::KeyEventRecord r = reader.ReadKeyEvent();
    EXPECT_EQ(r.sequence, 0u);
    EXPECT_EQ(r.serial, "");
    EXPECT_EQ(reader.blockSession(), 1u);
    EXPECT_TRUE(MappingExists(1));
    // ...and a write goes there too.
    ASSERT_TRUE(writer.WriteKeyEvent(3, "SESSION1KEY"));
    EXPECT_EQ(writer.blockSession(), 1u);
    EXPECT_EQ(reader.ReadKeyEvent().serial, "SESSION1KEY");
    EXPECT_EQ(session0.ReadKeyEvent().serial, "SESSION0KEY");

    // A block of the own session is valid without asking for the list.
    const int calls = FakeSessions::listCalls;
    reader.ReadKeyEvent();
    writer.WriteKeyEvent(4, "SESSION1KEY");
    EXPECT_EQ(FakeSessions::listCalls, calls);
}

TEST_F(SharedBlockTest, BeforeVistaTheGlobalNameIsUsedAndNoSessionIsAskedFor) {
    FakeSessions::vista = false;
    FakeSessions::list = std::vector<DWORD>{5};  // would lead astray if consulted
    SharedBlock maker(kFake, Name());
    ASSERT_TRUE(maker.WriteKeyEvent(2, "OLDSYSTEM"));
    EXPECT_TRUE(MappingExists(std::nullopt));
    EXPECT_FALSE(MappingExists(1));

    SharedBlock opener(kFake, Name());  // finds the mutex: the opening path
    EXPECT_EQ(opener.ReadKeyEvent().serial, "OLDSYSTEM");
    opener.Revalidate();
    EXPECT_EQ(opener.ReadKeyEvent().serial, "OLDSYSTEM");
    EXPECT_EQ(FakeSessions::listCalls, 0);
    EXPECT_EQ(FakeSessions::ownCalls, 0);
}

TEST_F(SharedBlockTest, AnExistingBlockIsOpenedNeverZeroed) {
    // As under Wine: the session list is empty, so an opener does not find
    // the block by name and the create answers the existing mapping.
    SharedBlock maker(kFake, Name());
    ASSERT_TRUE(maker.WriteKeyEvent(11, "WRITTENBEFORE"));
    SharedBlock opener(kFake, Name());
    EXPECT_EQ(opener.ReadKeyEvent().serial, "WRITTENBEFORE");
    EXPECT_EQ(opener.ReadKeyEvent().sequence, 11u);

    // A mapping whose creation mutex is gone: the creating path meets it.
    const std::wstring other = Name() + L"_NOMUTEX";
    win::Handle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024,
                                             (L"Session\\1\\SecSharedMemory_FILE_VELTA_" + other).c_str()));
    ASSERT_TRUE(mapping);
    events::MappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 1024));
    ASSERT_TRUE(view);
    ASSERT_EQ(events::EncodeKeyEvent(12, "NOMUTEXKEY", static_cast<uint8_t*>(view.get())), 14u);
    SharedBlock late(kFake, other);
    events::KeyEventRecord r = late.ReadKeyEvent();
    EXPECT_EQ(r.sequence, 12u);
    EXPECT_EQ(r.serial, "NOMUTEXKEY");
}

TEST(AgentLink, RefreshRequestSetsTheAgentsEventOnlyWhenItExists) {
    EXPECT_FALSE(store::RequestAgentRefresh());
    win::Handle refresh(::CreateEventW(nullptr, FALSE, FALSE, L"Pelko_EventName_K2Svr_VELTA.exe"));
    ASSERT_TRUE(refresh);
    EXPECT_TRUE(store::RequestAgentRefresh());
    EXPECT_EQ(::WaitForSingleObject(refresh.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(refresh.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // auto reset: once
}

TEST(AgentLink, CheckFindsTheAgentByWindowClassAndTitle) {
    const wchar_t* kClass = L"PelkoSvrClass_VELTA";
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ASSERT_NE(::RegisterClassW(&wc), 0);
    // The start is asked for only where the window exists: nothing is run
    // in a test.
    struct Case {
        const wchar_t* title;  // null: no window
        int start;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0, 0},
        {L"PelkoSvr001_VELTA", 0, 1},
        {L"PelkoSvr001_VELTA", 1, 1},
        {L"PelkoSvr002_VELTA", 0, 0},
    };
    for (const Case& c : cases) {
        HWND w = c.title ? ::CreateWindowExW(0, kClass, c.title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                             wc.hInstance, nullptr)
                         : nullptr;
        if (c.title) {
            ASSERT_NE(w, nullptr);
        }
        EXPECT_EQ(store::CheckAndStartAgent(c.start), c.expected) << (c.title ? "window" : "none") << " " << c.start;
        if (w) ::DestroyWindow(w);
    }
}

}  // namespace
