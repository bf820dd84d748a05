// tapalign's requests on /dev/lumaro: reading, saving, storing and restoring
// the controller's calibration and configuration blocks. Any non-zero result
// is a failure; each failure prints its fixed line and the sequence goes on.
#pragma once

#include <cstdint>
#include <cstdio>

#include "calibration-tool/calib_session.h"
#include "driver-interface/device_io.h"

namespace lumaro {

// Sends a one-byte request; prints "NAME failed." when it does not succeed.
// Returns the request's result.
int SendFlag(DeviceIo& io, int fd, unsigned long request, std::uint8_t value, std::FILE* out);

// GET_CALIB_PARA_X, GET_CALIB_PARA_Y, GET_DEVICE_CONFIG in this order. A block
// changes only when its read succeeds; `reads` tells which did.
void ReadParameters(CalibSession& s, DeviceIo& io, std::FILE* out, ReadStatus& reads);

// Copies the live blocks into their saved copies.
void SaveParameters(CalibSession& s);

// Copies the saved blocks back into the live ones.
void RecallSavedParameters(CalibSession& s);

// SET_CALIB_PARA_X, SET_CALIB_PARA_Y, SET_DEVICE_CONFIG, SET_START_CALIB 0,
// DEVICE_RESET 0, each regardless of the others. A block whose start-up read
// failed is not sent: the controller keeps what it has. True when every
// request sent succeeded.
bool StoreParameters(const CalibSession& s, const ReadStatus& reads, DeviceIo& io, std::FILE* out);

}  // namespace lumaro
