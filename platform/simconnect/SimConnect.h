// SimConnect as Tavix uses it: the client functions, handle, received records, constants and
// enumerations, declared from the simulator maker's published API so that they are binary-identical
// to it (simconnect_abi.cpp pins sizes, offsets and values). With TAVIX_SIM_SDK set (a Windows
// build pointed at the vendor SDK) the vendor's own header is used instead. Otherwise, off Windows,
// the calls are answered by the embedded stand-in simulator (standin_sim.h); on Windows tavix.exe
// takes them from a SimConnect.dll loaded at run time (simconnect_library.h), the vendor's or the
// stand-in built as a DLL. The program's sources compile unchanged against every backend.
//
// Every function may be called from any thread; the stand-in serialises them under its own lock
// and calls the dispatch callback on the thread that called SimConnect_CallDispatch.
#pragma once

#if defined(TAVIX_SIM_SDK)
#include <windows.h>
#include <SimConnect.h>
#else

#include <cstddef>
#include <cstdint>

#include "win32/win_types.h"

// The calls have C linkage, as the DLL exports them. The stand-in built as SimConnect.dll exports
// them (TAVIX_SIMCONNECT_EXPORTS is set only while building that DLL).
#if defined(_WIN32) && defined(TAVIX_SIMCONNECT_EXPORTS)
#define TAVIX_SIMCONNECT_API extern "C" __declspec(dllexport)
#else
#define TAVIX_SIMCONNECT_API extern "C"
#endif

// ---- ids -------------------------------------------------------------------------------------
using SIMCONNECT_OBJECT_ID = DWORD;
using SIMCONNECT_DATA_DEFINITION_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_ID = DWORD;
using SIMCONNECT_CLIENT_EVENT_ID = DWORD;
using SIMCONNECT_NOTIFICATION_GROUP_ID = DWORD;

constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
constexpr SIMCONNECT_OBJECT_ID SIMCONNECT_OBJECT_ID_USER = 0;
constexpr DWORD SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;

// Flags the program always passes as 0.
using SIMCONNECT_DATA_REQUEST_FLAG = DWORD;
constexpr SIMCONNECT_DATA_REQUEST_FLAG SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;
using SIMCONNECT_DATA_SET_FLAG = DWORD;
constexpr SIMCONNECT_DATA_SET_FLAG SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0;
using SIMCONNECT_EVENT_FLAG = DWORD;
constexpr SIMCONNECT_EVENT_FLAG SIMCONNECT_EVENT_FLAG_DEFAULT = 0;

// ---- enumerations ----------------------------------------------------------------------------
enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6,
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11,
    SIMCONNECT_DATATYPE_INITPOSITION = 12,
    SIMCONNECT_DATATYPE_MARKERSTATE = 13,
    SIMCONNECT_DATATYPE_WAYPOINT = 14,
    SIMCONNECT_DATATYPE_LATLONALT = 15,
    SIMCONNECT_DATATYPE_XYZ = 16,
};

enum SIMCONNECT_SIMOBJECT_TYPE : DWORD {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_UNOPENED = 4,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_TOO_MANY_GROUPS = 6,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_EVENT_NAMES = 8,
    SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE = 9,
    SIMCONNECT_EXCEPTION_TOO_MANY_MAPS = 10,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS = 12,
    SIMCONNECT_EXCEPTION_WEATHER_INVALID_PORT = 13,
    SIMCONNECT_EXCEPTION_WEATHER_INVALID_METAR = 14,
    SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_GET_OBSERVATION = 15,
    SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_CREATE_STATION = 16,
    SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_REMOVE_STATION = 17,
    SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE = 18,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20,
    SIMCONNECT_EXCEPTION_INVALID_ARRAY = 21,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
    SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION = 25,
    SIMCONNECT_EXCEPTION_ALREADY_SUBSCRIBED = 26,
    SIMCONNECT_EXCEPTION_INVALID_ENUM = 27,
    SIMCONNECT_EXCEPTION_DEFINITION_ERROR = 28,
    SIMCONNECT_EXCEPTION_DUPLICATE_ID = 29,
    SIMCONNECT_EXCEPTION_DATUM_ID = 30,
    SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS = 31,
};

// Receive ids: the dwID member of every received record.
enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION = 10,
    SIMCONNECT_RECV_ID_CLOUD_STATE = 11,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_RESERVED_KEY = 13,
    SIMCONNECT_RECV_ID_CUSTOM_ACTION = 14,
    SIMCONNECT_RECV_ID_SYSTEM_STATE = 15,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
    SIMCONNECT_RECV_ID_EVENT_WEATHER_MODE = 17,
    SIMCONNECT_RECV_ID_AIRPORT_LIST = 18,
    SIMCONNECT_RECV_ID_VOR_LIST = 19,
    SIMCONNECT_RECV_ID_NDB_LIST = 20,
    SIMCONNECT_RECV_ID_WAYPOINT_LIST = 21,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SERVER_STARTED = 22,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_CLIENT_STARTED = 23,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SESSION_ENDED = 24,
    SIMCONNECT_RECV_ID_EVENT_RACE_END = 25,
    SIMCONNECT_RECV_ID_EVENT_RACE_LAP = 26,
    SIMCONNECT_RECV_ID_PICK = 27,
};

// ---- records ---------------------------------------------------------------------------------
// Initial position of a created AI object: degrees, feet, knots.
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;
    double Longitude;
    double Altitude;
    double Pitch;
    double Bank;
    double Heading;
    DWORD OnGround;
    DWORD Airspeed;
};

// Every received record begins with these; dwSize is the whole record, data block included.
struct SIMCONNECT_RECV {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
    DWORD dwException;  // SIMCONNECT_EXCEPTION
    DWORD dwSendID;     // packet id of the call that caused it
    DWORD dwIndex;      // 1-based position of the offending parameter
    // The published pages name these without agreeing on values (one gives UNKNOWN_INDEX = 0);
    // the program compares with neither.
    static constexpr DWORD UNKNOWN_SENDID = 0;
    static constexpr DWORD UNKNOWN_INDEX = 0xFFFFFFFFu;
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
    char szApplicationName[256];
    DWORD dwApplicationVersionMajor;
    DWORD dwApplicationVersionMinor;
    DWORD dwApplicationBuildMajor;
    DWORD dwApplicationBuildMinor;
    DWORD dwSimConnectVersionMajor;
    DWORD dwSimConnectVersionMinor;
    DWORD dwSimConnectBuildMajor;
    DWORD dwSimConnectBuildMinor;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

struct SIMCONNECT_RECV_QUIT : SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
    static constexpr DWORD UNKNOWN_GROUP = 0xFFFFFFFFu;  // an event sent outside any group
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE : SIMCONNECT_RECV_EVENT {
    SIMCONNECT_SIMOBJECT_TYPE eObjType;  // the object id is dwData
};

struct SIMCONNECT_RECV_EVENT_FILENAME : SIMCONNECT_RECV_EVENT {
    char szFileName[MAX_PATH];
    DWORD dwFlags;
};

struct SIMCONNECT_RECV_EVENT_FRAME : SIMCONNECT_RECV_EVENT {
    float fFrameRate;
    float fSimSpeed;
};

// Reply to SimConnect_RequestDataOnSimObject; the data block starts at dwData (offset 40).
struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;  // 1-based index of this record within the reply
    DWORD dwoutof;        // number of records of the reply
    DWORD dwDefineCount;  // data items in the block
    DWORD dwData;         // first four bytes of the data block
};

// Reply to SimConnect_RequestDataOnSimObjectType: one record per object found.
struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : SIMCONNECT_RECV_SIMOBJECT_DATA {};

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID : SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
};

// Called by SimConnect_CallDispatch once per waiting record, on the calling thread.
using DispatchProc = void(CALLBACK*)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// ---- functions -------------------------------------------------------------------------------
// All return S_OK or E_FAIL. A successful call other than Open, Close, CallDispatch and
// GetLastSentPacketID uses one packet id; refusals of valid-looking calls come back later as
// SIMCONNECT_RECV_EXCEPTION carrying that packet id.
TAVIX_SIMCONNECT_API HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd,
                                             DWORD UserEventWin32, HANDLE hEventHandle,
                                             DWORD ConfigIndex);
TAVIX_SIMCONNECT_API HRESULT SimConnect_Close(HANDLE hSimConnect);
TAVIX_SIMCONNECT_API HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch,
                                                     void* pContext);
TAVIX_SIMCONNECT_API HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect,
                                                               SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                               const char* SystemEventName);
TAVIX_SIMCONNECT_API HRESULT SimConnect_UnsubscribeFromSystemEvent(HANDLE hSimConnect,
                                                                   SIMCONNECT_CLIENT_EVENT_ID EventID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_AddToDataDefinition(
    HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID, const char* DatumName,
    const char* UnitsName, SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
    float fEpsilon = 0, DWORD DatumID = SIMCONNECT_UNUSED);
TAVIX_SIMCONNECT_API HRESULT SimConnect_ClearDataDefinition(HANDLE hSimConnect,
                                                            SIMCONNECT_DATA_DEFINITION_ID DefineID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect,
                                                                 SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                                 const char* EventName);
TAVIX_SIMCONNECT_API HRESULT SimConnect_AddClientEventToNotificationGroup(
    HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_CLIENT_EVENT_ID EventID,
    BOOL bMaskable = FALSE);
TAVIX_SIMCONNECT_API HRESULT SimConnect_SetNotificationGroupPriority(
    HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, DWORD uPriority);
TAVIX_SIMCONNECT_API HRESULT SimConnect_RequestDataOnSimObject(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID, SIMCONNECT_DATA_DEFINITION_ID DefineID,
    SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags = 0,
    DWORD origin = 0, DWORD interval = 0, DWORD limit = 0);
TAVIX_SIMCONNECT_API HRESULT SimConnect_RequestDataOnSimObjectType(
    HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID, SIMCONNECT_DATA_DEFINITION_ID DefineID,
    DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
TAVIX_SIMCONNECT_API HRESULT SimConnect_SetDataOnSimObject(
    HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
    SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
TAVIX_SIMCONNECT_API HRESULT SimConnect_TransmitClientEvent(
    HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
    SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags);
// The initial position is passed by value (on x64 as a pointer to the caller's copy).
TAVIX_SIMCONNECT_API HRESULT SimConnect_AICreateNonATCAircraft(
    HANDLE hSimConnect, const char* szContainerTitle, const char* szTailNumber,
    SIMCONNECT_DATA_INITPOSITION InitPos, SIMCONNECT_DATA_REQUEST_ID RequestID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                       SIMCONNECT_DATA_REQUEST_ID RequestID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                         SIMCONNECT_DATA_REQUEST_ID RequestID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect,
                                                                SIMCONNECT_OBJECT_ID ObjectID,
                                                                const char* szFlightPlanPath,
                                                                SIMCONNECT_DATA_REQUEST_ID RequestID);
TAVIX_SIMCONNECT_API HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID);

#endif  // TAVIX_SIM_SDK
