// How the simulation's C++ interface (machines, board state, the call log, injected faults) reaches
// the simulated board libraries: exported by default from libqvwinsim.so, and from qvwinsim.dll by
// dllexport, imported by the libraries that link it.
#pragma once

#if defined(_WIN32) && defined(QVWINSIM_BUILD)
#define SIM_API __declspec(dllexport)
#elif defined(_WIN32)
#define SIM_API __declspec(dllimport)
#else
#define SIM_API
#endif
