// SimConnect.dll loaded at run time (Windows without the vendor's import library): the calls of
// SimConnect.h are defined here and forwarded to the DLL's exports of the same plain C names. The
// DLL is looked for when a connection is opened, until one loads with every call the program
// makes; after that it stays loaded for the life of the process, since other threads hold no lock
// while they call into it. Elsewhere nothing is loaded and no problem is ever told.
//
// Any thread: the load and the problem text are guarded by one mutex; the loaded call table is
// published through an atomic pointer.
#include "simconnect/simconnect_library.h"

#if defined(_WIN32) && !defined(TAVIX_SIM_SDK)

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "simconnect/SimConnect.h"

namespace {

#define TAVIX_SIMCONNECT_CALLS(X)                                                              \
    X(Open) X(Close) X(CallDispatch) X(SubscribeToSystemEvent) X(UnsubscribeFromSystemEvent)    \
    X(AddToDataDefinition) X(ClearDataDefinition) X(MapClientEventToSimEvent)                  \
    X(AddClientEventToNotificationGroup) X(SetNotificationGroupPriority)                       \
    X(RequestDataOnSimObject) X(RequestDataOnSimObjectType) X(SetDataOnSimObject)              \
    X(TransmitClientEvent) X(AICreateNonATCAircraft) X(AIRemoveObject) X(AIReleaseControl)     \
    X(AISetAircraftFlightPlan) X(GetLastSentPacketID)

struct Calls {
#define TAVIX_CALL_MEMBER(name) decltype(&SimConnect_##name) name = nullptr;
    TAVIX_SIMCONNECT_CALLS(TAVIX_CALL_MEMBER)
#undef TAVIX_CALL_MEMBER
};

std::mutex g_loadMutex;      // guards g_calls until published, g_problem and g_toldProblem
Calls g_calls;
std::atomic<const Calls*> g_loaded{nullptr};
std::string g_problem;       // the latest problem of a load
std::string g_toldProblem;   // the last one handed to the caller

std::string lf_utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path lf_exeFolder()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
        buffer.resize(buffer.size() * 2);
    }
}

// The folders looked in, in order: the program's own, then the SimConnect SDK's.
std::vector<std::filesystem::path> lf_candidates()
{
    std::vector<std::filesystem::path> folders;
    if (auto exe = lf_exeFolder(); !exe.empty())
        folders.push_back(exe);
    if (const wchar_t* sdk = _wgetenv(L"MSFS_SDK"); sdk && *sdk)
        folders.push_back(std::filesystem::path(sdk) / L"SimConnect SDK" / L"lib");
    return folders;
}

// Loads the first usable SimConnect.dll; with the lock held. Sets g_problem when none is.
const Calls* lf_load()
{
    std::vector<std::string> looked;
    std::string problem;
    for (const auto& folder : lf_candidates()) {
        const auto file = folder / L"SimConnect.dll";
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            looked.push_back(lf_utf8(folder));
            continue;
        }
        // The DLL's own dependencies are looked for beside it, not in the current folder.
        HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module) {
            problem = fmt::format("{} could not be loaded (error {})", lf_utf8(file), GetLastError());
            continue;
        }
        Calls calls;
        std::string missing;
#define TAVIX_CALL_RESOLVE(name)                                                                  \
    calls.name = reinterpret_cast<decltype(calls.name)>(                                         \
        reinterpret_cast<void (*)()>(GetProcAddress(module, "SimConnect_" #name)));              \
    if (!calls.name && missing.empty())                                                           \
        missing = "SimConnect_" #name;
        TAVIX_SIMCONNECT_CALLS(TAVIX_CALL_RESOLVE)
#undef TAVIX_CALL_RESOLVE
        if (!missing.empty()) {
            problem = fmt::format("{} lacks {}", lf_utf8(file), missing);
            FreeLibrary(module);
            continue;
        }
        g_calls = calls;
        g_problem.clear();
        g_loaded.store(&g_calls);
        return &g_calls;
    }
    if (problem.empty()) {
        problem = "SimConnect.dll not found in ";
        for (std::size_t i = 0; i < looked.size(); ++i)
            problem += (i ? " or " : "") + looked[i];
        if (looked.empty())
            problem += "the program's folder";
        if (!_wgetenv(L"MSFS_SDK"))
            problem += " (MSFS_SDK not set)";
    }
    g_problem = problem;
    return nullptr;
}

// The loaded calls; null until a DLL is loaded. Only an open tries to load one.
const Calls* lf_calls(bool load)
{
    if (const Calls* c = g_loaded.load())
        return c;
    if (!load)
        return nullptr;
    std::lock_guard lock(g_loadMutex);
    if (const Calls* c = g_loaded.load())
        return c;
    return lf_load();
}

}  // namespace

std::string gf_takeSimConnectLibraryProblem()
{
    std::lock_guard lock(g_loadMutex);
    if (g_problem.empty() || g_problem == g_toldProblem)
        return {};
    g_toldProblem = g_problem;
    return g_problem;
}

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex)
{
    const Calls* c = lf_calls(true);
    return c ? c->Open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle, ConfigIndex) : E_FAIL;
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    const Calls* c = lf_calls(false);
    return c ? c->Close(hSimConnect) : E_FAIL;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    const Calls* c = lf_calls(false);
    return c ? c->CallDispatch(hSimConnect, pfcnDispatch, pContext) : E_FAIL;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName)
{
    const Calls* c = lf_calls(false);
    return c ? c->SubscribeToSystemEvent(hSimConnect, EventID, SystemEventName) : E_FAIL;
}

HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID)
{
    const Calls* c = lf_calls(false);
    return c ? c->UnsubscribeFromSystemEvent(hSimConnect, EventID) : E_FAIL;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    const Calls* c = lf_calls(false);
    return c ? c->AddToDataDefinition(hSimConnect, DefineID, DatumName, UnitsName, DatumType, fEpsilon,
                                      DatumID)
             : E_FAIL;
}

HRESULT SimConnect_ClearDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID)
{
    const Calls* c = lf_calls(false);
    return c ? c->ClearDataDefinition(hSimConnect, DefineID) : E_FAIL;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName)
{
    const Calls* c = lf_calls(false);
    return c ? c->MapClientEventToSimEvent(hSimConnect, EventID, EventName) : E_FAIL;
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable)
{
    const Calls* c = lf_calls(false);
    return c ? c->AddClientEventToNotificationGroup(hSimConnect, GroupID, EventID, bMaskable) : E_FAIL;
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority)
{
    const Calls* c = lf_calls(false);
    return c ? c->SetNotificationGroupPriority(hSimConnect, GroupID, uPriority) : E_FAIL;
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit)
{
    const Calls* c = lf_calls(false);
    return c ? c->RequestDataOnSimObject(hSimConnect, RequestID, DefineID, ObjectID, Period, Flags,
                                         origin, interval, limit)
             : E_FAIL;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type)
{
    const Calls* c = lf_calls(false);
    return c ? c->RequestDataOnSimObjectType(hSimConnect, RequestID, DefineID, dwRadiusMeters, type)
             : E_FAIL;
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet)
{
    const Calls* c = lf_calls(false);
    return c ? c->SetDataOnSimObject(hSimConnect, DefineID, ObjectID, Flags, ArrayCount, cbUnitSize,
                                     pDataSet)
             : E_FAIL;
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags)
{
    const Calls* c = lf_calls(false);
    return c ? c->TransmitClientEvent(hSimConnect, ObjectID, EventID, dwData, GroupID, Flags) : E_FAIL;
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    const Calls* c = lf_calls(false);
    return c ? c->AICreateNonATCAircraft(hSimConnect, szContainerTitle, szTailNumber, InitPos, RequestID)
             : E_FAIL;
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    const Calls* c = lf_calls(false);
    return c ? c->AIRemoveObject(hSimConnect, ObjectID, RequestID) : E_FAIL;
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    const Calls* c = lf_calls(false);
    return c ? c->AIReleaseControl(hSimConnect, ObjectID, RequestID) : E_FAIL;
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath, SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    const Calls* c = lf_calls(false);
    return c ? c->AISetAircraftFlightPlan(hSimConnect, ObjectID, szFlightPlanPath, RequestID) : E_FAIL;
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID)
{
    const Calls* c = lf_calls(false);
    return c ? c->GetLastSentPacketID(hSimConnect, pdwSendID) : E_FAIL;
}

#else

std::string gf_takeSimConnectLibraryProblem()
{
    return {};
}

#endif
