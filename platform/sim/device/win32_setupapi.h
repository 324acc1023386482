// SetupAPI, configuration manager and registry of the simulated Windows.
#pragma once

#include "platform/sim/win32_types.h"

#ifndef _WIN32

// SetupDiGetClassDevs flags
constexpr DWORD DIGCF_DEFAULT = 0x00000001;
constexpr DWORD DIGCF_PRESENT = 0x00000002;
constexpr DWORD DIGCF_ALLCLASSES = 0x00000004;
constexpr DWORD DIGCF_PROFILE = 0x00000008;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010;

// SP_DEVICE_INTERFACE_DATA flags
constexpr DWORD SPINT_ACTIVE = 0x00000001;
constexpr DWORD SPINT_DEFAULT = 0x00000002;
constexpr DWORD SPINT_REMOVED = 0x00000004;

// SetupDiOpenDeviceInfo flags
constexpr DWORD DIOD_INHERIT_CLASSDRVS = 0x00000002;
constexpr DWORD DIOD_CANCEL_REMOVE = 0x00000004;

// SetupDiOpenDevRegKey scopes and key types
constexpr DWORD DICS_FLAG_GLOBAL = 0x00000001;
constexpr DWORD DICS_FLAG_CONFIGSPECIFIC = 0x00000002;
constexpr DWORD DIREG_DEV = 0x00000001;
constexpr DWORD DIREG_DRV = 0x00000002;

// Device registry properties
constexpr DWORD SPDRP_ENUMERATOR_NAME = 0x00000016;
constexpr DWORD SPDRP_ADDRESS = 0x0000001C;

// Configuration manager
constexpr CONFIGRET CR_SUCCESS = 0x00000000;
constexpr CONFIGRET CR_INVALID_POINTER = 0x00000003;
constexpr CONFIGRET CR_INVALID_FLAG = 0x00000004;
constexpr CONFIGRET CR_INVALID_DEVNODE = 0x00000005;
constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0x0000000D;
constexpr CONFIGRET CR_BUFFER_SMALL = 0x0000001A;
constexpr ULONG MAX_DEVICE_ID_LEN = 200;

// Registry
constexpr REGSAM KEY_READ = 0x00020019;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

WINSIM_API HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
WINSIM_API HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent);
WINSIM_API BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo);
WINSIM_API BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                   const GUID* interfaceClassGuid, DWORD memberIndex,
                                                   PSP_DEVICE_INTERFACE_DATA interfaceData);
WINSIM_API BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                        PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo);
WINSIM_API BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, PSTR buffer,
                                                   DWORD bufferSize, PDWORD requiredSize);
WINSIM_API HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                                            DWORD hwProfile, DWORD keyType, REGSAM access);
WINSIM_API HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                        DWORD reserved, REGSAM access);
WINSIM_API BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD property,
                                                         PDWORD propertyRegDataType, BYTE* buffer,
                                                         DWORD bufferSize, PDWORD requiredSize);
WINSIM_API BOOL WINAPI SetupDiOpenDeviceInfoA(HDEVINFO set, PCSTR deviceInstanceId, HWND parent, DWORD openFlags,
                                              PSP_DEVINFO_DATA deviceInfo);
WINSIM_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);

WINSIM_API CONFIGRET WINAPI CM_Get_Parent(DEVINST* parent, DEVINST devInst, ULONG flags);
WINSIM_API CONFIGRET WINAPI CM_Get_Child(DEVINST* child, DEVINST devInst, ULONG flags);
WINSIM_API CONFIGRET WINAPI CM_Get_Sibling(DEVINST* sibling, DEVINST devInst, ULONG flags);
WINSIM_API CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST devInst, PSTR buffer, ULONG bufferLen, ULONG flags);

WINSIM_API LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
WINSIM_API LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                                           LPDWORD dataSize);
WINSIM_API LSTATUS WINAPI RegCloseKey(HKEY key);
#endif // _WIN32
