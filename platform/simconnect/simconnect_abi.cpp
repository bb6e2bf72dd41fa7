// The binary contract with SimConnect.dll, checked at compile time: the sizes and member offsets of
// every record the program sends or reads, the values of every enumeration member and constant it
// uses, and the parameter lists of the calls it makes. tavix.exe talks to the simulator maker's
// DLL through these declarations, so a slip here would be read as garbage, not reported. The
// checks use only the published names, so they hold against our header and the vendor's alike
// (TAVIX_SIM_SDK build). x64 layout: DWORD 4, float 4, double 8 bytes.
#include <cstddef>
#include <type_traits>

#include "simconnect/SimConnect.h"

// The records derive from SIMCONNECT_RECV, so they are not standard-layout; offsetof on them is
// well defined for compilers without virtual bases involved, which GCC and Clang still warn about.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif

namespace {

// ---- ids, flags and constants ------------------------------------------------------------------
static_assert(sizeof(DWORD) == 4 && sizeof(HANDLE) == sizeof(void*));
static_assert(sizeof(SIMCONNECT_OBJECT_ID) == 4 && sizeof(SIMCONNECT_DATA_DEFINITION_ID) == 4 &&
              sizeof(SIMCONNECT_DATA_REQUEST_ID) == 4 && sizeof(SIMCONNECT_CLIENT_EVENT_ID) == 4 &&
              sizeof(SIMCONNECT_NOTIFICATION_GROUP_ID) == 4);
static_assert(sizeof(SIMCONNECT_DATA_REQUEST_FLAG) == 4 && sizeof(SIMCONNECT_DATA_SET_FLAG) == 4 &&
              sizeof(SIMCONNECT_EVENT_FLAG) == 4);
static_assert(SIMCONNECT_UNUSED == 0xFFFFFFFFu);
static_assert(SIMCONNECT_OBJECT_ID_USER == 0);
static_assert(SIMCONNECT_GROUP_PRIORITY_HIGHEST == 1);
static_assert(SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP == 0xFFFFFFFFu);
// Named by the record, values not relied on (the published pages disagree).
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION::UNKNOWN_SENDID) == 4 &&
              sizeof(SIMCONNECT_RECV_EXCEPTION::UNKNOWN_INDEX) == 4);
static_assert(MAX_PATH == 260);

// ---- enumerations: 4 bytes, positional values ----------------------------------------------------
static_assert(sizeof(SIMCONNECT_PERIOD) == 4 && sizeof(SIMCONNECT_DATATYPE) == 4 &&
              sizeof(SIMCONNECT_SIMOBJECT_TYPE) == 4 && sizeof(SIMCONNECT_EXCEPTION) == 4 &&
              sizeof(SIMCONNECT_RECV_ID) == 4);

static_assert(SIMCONNECT_PERIOD_NEVER == 0 && SIMCONNECT_PERIOD_ONCE == 1 &&
              SIMCONNECT_PERIOD_VISUAL_FRAME == 2 && SIMCONNECT_PERIOD_SIM_FRAME == 3 &&
              SIMCONNECT_PERIOD_SECOND == 4);

static_assert(SIMCONNECT_DATATYPE_INVALID == 0 && SIMCONNECT_DATATYPE_INT32 == 1 &&
              SIMCONNECT_DATATYPE_INT64 == 2 && SIMCONNECT_DATATYPE_FLOAT32 == 3 &&
              SIMCONNECT_DATATYPE_FLOAT64 == 4 && SIMCONNECT_DATATYPE_STRING8 == 5 &&
              SIMCONNECT_DATATYPE_STRING32 == 6 && SIMCONNECT_DATATYPE_STRING64 == 7 &&
              SIMCONNECT_DATATYPE_STRING128 == 8 && SIMCONNECT_DATATYPE_STRING256 == 9 &&
              SIMCONNECT_DATATYPE_STRING260 == 10 && SIMCONNECT_DATATYPE_STRINGV == 11 &&
              SIMCONNECT_DATATYPE_INITPOSITION == 12 && SIMCONNECT_DATATYPE_MARKERSTATE == 13 &&
              SIMCONNECT_DATATYPE_WAYPOINT == 14 && SIMCONNECT_DATATYPE_LATLONALT == 15 &&
              SIMCONNECT_DATATYPE_XYZ == 16);

static_assert(SIMCONNECT_SIMOBJECT_TYPE_USER == 0 && SIMCONNECT_SIMOBJECT_TYPE_ALL == 1 &&
              SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT == 2 && SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER == 3 &&
              SIMCONNECT_SIMOBJECT_TYPE_BOAT == 4 && SIMCONNECT_SIMOBJECT_TYPE_GROUND == 5);

static_assert(SIMCONNECT_EXCEPTION_NONE == 0 && SIMCONNECT_EXCEPTION_ERROR == 1 &&
              SIMCONNECT_EXCEPTION_SIZE_MISMATCH == 2 && SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID == 3 &&
              SIMCONNECT_EXCEPTION_UNOPENED == 4 && SIMCONNECT_EXCEPTION_VERSION_MISMATCH == 5 &&
              SIMCONNECT_EXCEPTION_TOO_MANY_GROUPS == 6 && SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED == 7 &&
              SIMCONNECT_EXCEPTION_TOO_MANY_EVENT_NAMES == 8 &&
              SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE == 9 && SIMCONNECT_EXCEPTION_TOO_MANY_MAPS == 10 &&
              SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS == 11 &&
              SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS == 12);
static_assert(SIMCONNECT_EXCEPTION_WEATHER_INVALID_PORT == 13 &&
              SIMCONNECT_EXCEPTION_WEATHER_INVALID_METAR == 14 &&
              SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_GET_OBSERVATION == 15 &&
              SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_CREATE_STATION == 16 &&
              SIMCONNECT_EXCEPTION_WEATHER_UNABLE_TO_REMOVE_STATION == 17);
static_assert(SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE == 18 &&
              SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE == 19 && SIMCONNECT_EXCEPTION_DATA_ERROR == 20 &&
              SIMCONNECT_EXCEPTION_INVALID_ARRAY == 21 &&
              SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED == 22 &&
              SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED == 23 &&
              SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE == 24 &&
              SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION == 25 &&
              SIMCONNECT_EXCEPTION_ALREADY_SUBSCRIBED == 26 && SIMCONNECT_EXCEPTION_INVALID_ENUM == 27 &&
              SIMCONNECT_EXCEPTION_DEFINITION_ERROR == 28 && SIMCONNECT_EXCEPTION_DUPLICATE_ID == 29 &&
              SIMCONNECT_EXCEPTION_DATUM_ID == 30 && SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS == 31);

static_assert(SIMCONNECT_RECV_ID_NULL == 0 && SIMCONNECT_RECV_ID_EXCEPTION == 1 &&
              SIMCONNECT_RECV_ID_OPEN == 2 && SIMCONNECT_RECV_ID_QUIT == 3 &&
              SIMCONNECT_RECV_ID_EVENT == 4 && SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE == 5 &&
              SIMCONNECT_RECV_ID_EVENT_FILENAME == 6 && SIMCONNECT_RECV_ID_EVENT_FRAME == 7 &&
              SIMCONNECT_RECV_ID_SIMOBJECT_DATA == 8 && SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE == 9 &&
              SIMCONNECT_RECV_ID_WEATHER_OBSERVATION == 10 && SIMCONNECT_RECV_ID_CLOUD_STATE == 11 &&
              SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID == 12 && SIMCONNECT_RECV_ID_RESERVED_KEY == 13 &&
              SIMCONNECT_RECV_ID_CUSTOM_ACTION == 14 && SIMCONNECT_RECV_ID_SYSTEM_STATE == 15 &&
              SIMCONNECT_RECV_ID_CLIENT_DATA == 16 && SIMCONNECT_RECV_ID_EVENT_WEATHER_MODE == 17 &&
              SIMCONNECT_RECV_ID_AIRPORT_LIST == 18 && SIMCONNECT_RECV_ID_VOR_LIST == 19 &&
              SIMCONNECT_RECV_ID_NDB_LIST == 20 && SIMCONNECT_RECV_ID_WAYPOINT_LIST == 21 &&
              SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SERVER_STARTED == 22 &&
              SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_CLIENT_STARTED == 23 &&
              SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SESSION_ENDED == 24 &&
              SIMCONNECT_RECV_ID_EVENT_RACE_END == 25 && SIMCONNECT_RECV_ID_EVENT_RACE_LAP == 26 &&
              SIMCONNECT_RECV_ID_PICK == 27);

// ---- records -------------------------------------------------------------------------------------
using IP = SIMCONNECT_DATA_INITPOSITION;
static_assert(sizeof(IP) == 56 && offsetof(IP, Latitude) == 0 && offsetof(IP, Longitude) == 8 &&
              offsetof(IP, Altitude) == 16 && offsetof(IP, Pitch) == 24 && offsetof(IP, Bank) == 32 &&
              offsetof(IP, Heading) == 40 && offsetof(IP, OnGround) == 48 && offsetof(IP, Airspeed) == 52);

static_assert(sizeof(SIMCONNECT_RECV) == 12 && offsetof(SIMCONNECT_RECV, dwSize) == 0 &&
              offsetof(SIMCONNECT_RECV, dwVersion) == 4 && offsetof(SIMCONNECT_RECV, dwID) == 8);

using EX = SIMCONNECT_RECV_EXCEPTION;
static_assert(sizeof(EX) == 24 && offsetof(EX, dwException) == 12 && offsetof(EX, dwSendID) == 16 &&
              offsetof(EX, dwIndex) == 20);

using OP = SIMCONNECT_RECV_OPEN;
static_assert(sizeof(OP) == 308 && offsetof(OP, szApplicationName) == 12 &&
              sizeof(OP::szApplicationName) == 256 && offsetof(OP, dwApplicationVersionMajor) == 268 &&
              offsetof(OP, dwApplicationVersionMinor) == 272 &&
              offsetof(OP, dwApplicationBuildMajor) == 276 && offsetof(OP, dwApplicationBuildMinor) == 280 &&
              offsetof(OP, dwSimConnectVersionMajor) == 284 &&
              offsetof(OP, dwSimConnectVersionMinor) == 288 && offsetof(OP, dwSimConnectBuildMajor) == 292 &&
              offsetof(OP, dwSimConnectBuildMinor) == 296 && offsetof(OP, dwReserved1) == 300 &&
              offsetof(OP, dwReserved2) == 304);

static_assert(sizeof(SIMCONNECT_RECV_QUIT) == 12);

using EV = SIMCONNECT_RECV_EVENT;
static_assert(sizeof(EV) == 24 && offsetof(EV, uGroupID) == 12 && offsetof(EV, uEventID) == 16 &&
              offsetof(EV, dwData) == 20);

using AR = SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE;
static_assert(sizeof(AR) == 28 && offsetof(AR, dwData) == 20 && offsetof(AR, eObjType) == 24);

using FN = SIMCONNECT_RECV_EVENT_FILENAME;
static_assert(sizeof(FN) == 288 && offsetof(FN, szFileName) == 24 && sizeof(FN::szFileName) == 260 &&
              offsetof(FN, dwFlags) == 284);

using FR = SIMCONNECT_RECV_EVENT_FRAME;
static_assert(sizeof(FR) == 32 && offsetof(FR, fFrameRate) == 24 && offsetof(FR, fSimSpeed) == 28 &&
              sizeof(FR::fFrameRate) == 4);

using SD = SIMCONNECT_RECV_SIMOBJECT_DATA;
static_assert(sizeof(SD) == 44 && offsetof(SD, dwRequestID) == 12 && offsetof(SD, dwObjectID) == 16 &&
              offsetof(SD, dwDefineID) == 20 && offsetof(SD, dwFlags) == 24 &&
              offsetof(SD, dwentrynumber) == 28 && offsetof(SD, dwoutof) == 32 &&
              offsetof(SD, dwDefineCount) == 36 && offsetof(SD, dwData) == 40);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE) == 44 &&
              std::is_base_of_v<SIMCONNECT_RECV_SIMOBJECT_DATA, SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>);

using AO = SIMCONNECT_RECV_ASSIGNED_OBJECT_ID;
static_assert(sizeof(AO) == 20 && offsetof(AO, dwRequestID) == 12 && offsetof(AO, dwObjectID) == 16);

// ---- calls: result, parameter order and types ------------------------------------------------------
// (x64 has one calling convention, so the vendor's __stdcall does not change these types.)
template <typename F, typename Expected>
constexpr bool kSameCall = std::is_same_v<F, Expected>;

static_assert(kSameCall<decltype(SimConnect_Open),
                        HRESULT(HANDLE*, const char*, HWND, DWORD, HANDLE, DWORD)>);
static_assert(kSameCall<decltype(SimConnect_Close), HRESULT(HANDLE)>);
static_assert(kSameCall<decltype(SimConnect_CallDispatch), HRESULT(HANDLE, DispatchProc, void*)>);
static_assert(std::is_same_v<DispatchProc, void(CALLBACK*)(SIMCONNECT_RECV*, DWORD, void*)>);
static_assert(kSameCall<decltype(SimConnect_SubscribeToSystemEvent),
                        HRESULT(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*)>);
static_assert(kSameCall<decltype(SimConnect_UnsubscribeFromSystemEvent),
                        HRESULT(HANDLE, SIMCONNECT_CLIENT_EVENT_ID)>);
static_assert(kSameCall<decltype(SimConnect_AddToDataDefinition),
                        HRESULT(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, const char*, const char*,
                                SIMCONNECT_DATATYPE, float, DWORD)>);
static_assert(kSameCall<decltype(SimConnect_ClearDataDefinition),
                        HRESULT(HANDLE, SIMCONNECT_DATA_DEFINITION_ID)>);
static_assert(kSameCall<decltype(SimConnect_MapClientEventToSimEvent),
                        HRESULT(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*)>);
static_assert(kSameCall<decltype(SimConnect_AddClientEventToNotificationGroup),
                        HRESULT(HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_CLIENT_EVENT_ID, BOOL)>);
static_assert(kSameCall<decltype(SimConnect_SetNotificationGroupPriority),
                        HRESULT(HANDLE, SIMCONNECT_NOTIFICATION_GROUP_ID, DWORD)>);
static_assert(kSameCall<decltype(SimConnect_RequestDataOnSimObject),
                        HRESULT(HANDLE, SIMCONNECT_DATA_REQUEST_ID, SIMCONNECT_DATA_DEFINITION_ID,
                                SIMCONNECT_OBJECT_ID, SIMCONNECT_PERIOD, SIMCONNECT_DATA_REQUEST_FLAG,
                                DWORD, DWORD, DWORD)>);
static_assert(kSameCall<decltype(SimConnect_RequestDataOnSimObjectType),
                        HRESULT(HANDLE, SIMCONNECT_DATA_REQUEST_ID, SIMCONNECT_DATA_DEFINITION_ID, DWORD,
                                SIMCONNECT_SIMOBJECT_TYPE)>);
static_assert(kSameCall<decltype(SimConnect_SetDataOnSimObject),
                        HRESULT(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, SIMCONNECT_OBJECT_ID,
                                SIMCONNECT_DATA_SET_FLAG, DWORD, DWORD, void*)>);
static_assert(kSameCall<decltype(SimConnect_TransmitClientEvent),
                        HRESULT(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_CLIENT_EVENT_ID, DWORD,
                                SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)>);
static_assert(kSameCall<decltype(SimConnect_AICreateNonATCAircraft),
                        HRESULT(HANDLE, const char*, const char*, SIMCONNECT_DATA_INITPOSITION,
                                SIMCONNECT_DATA_REQUEST_ID)>);
static_assert(kSameCall<decltype(SimConnect_AIRemoveObject),
                        HRESULT(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_DATA_REQUEST_ID)>);
static_assert(kSameCall<decltype(SimConnect_AIReleaseControl),
                        HRESULT(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_DATA_REQUEST_ID)>);
static_assert(kSameCall<decltype(SimConnect_AISetAircraftFlightPlan),
                        HRESULT(HANDLE, SIMCONNECT_OBJECT_ID, const char*, SIMCONNECT_DATA_REQUEST_ID)>);
static_assert(kSameCall<decltype(SimConnect_GetLastSentPacketID), HRESULT(HANDLE, DWORD*)>);

}  // namespace

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
