// HRESULTs of the host's range that the expert, its property bags and its enumerators return.
#pragma once

#include "hwsys/hwsys_base.h"

constexpr HRESULT HW_E_PROPERTY_TYPE_MISMATCH = static_cast<HRESULT>(0x80040370u);
constexpr HRESULT HW_E_PROPERTY_NOT_FOUND = static_cast<HRESULT>(0x80040371u);
constexpr HRESULT HW_E_UNSUPPORTED_TEST_MODE = static_cast<HRESULT>(0x80040376u);
constexpr HRESULT HW_E_INVALID_ALIAS = static_cast<HRESULT>(0x8004037Au);
constexpr HRESULT HW_E_ALIAS_IN_USE = static_cast<HRESULT>(0x8004037Bu);
constexpr HRESULT HW_E_FILE_ACCESS_DENIED = static_cast<HRESULT>(0x8004037Du);
constexpr HRESULT HW_E_INVALID_CAL_DATE = static_cast<HRESULT>(0x8004037Fu);
constexpr HRESULT HW_E_CAL_INTERVAL_TOO_LONG = static_cast<HRESULT>(0x80040380u);
constexpr HRESULT HW_E_CAL_PASSWORD_INVALID = static_cast<HRESULT>(0x8004038Eu);
constexpr HRESULT HW_E_TIMEOUT = static_cast<HRESULT>(0x80040420u);
