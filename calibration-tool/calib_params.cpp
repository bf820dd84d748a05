#include "calibration-tool/calib_params.h"

#include "driver-interface/requests.h"

namespace lumaro {
namespace {

const char* RequestName(unsigned long request) {
  const RequestInfo* info = FindTouchRequest(request);
  return info != nullptr ? info->name : "request";
}

void ReportFailure(unsigned long request, std::FILE* out) {
  std::fprintf(out, "%s failed.\n", RequestName(request));
  std::fflush(out);
}

bool ReadBlock(DeviceIo& io, int fd, unsigned long request, ParamBlock& block, std::FILE* out) {
  ParamBlock fresh{};
  if (io.Request(fd, request, fresh) != 0) {
    ReportFailure(request, out);
    return false;
  }
  block = fresh;
  return true;
}

bool WriteBlock(DeviceIo& io, int fd, unsigned long request, const ParamBlock& block,
                std::FILE* out) {
  ParamBlock copy = block;  // the driver only reads it
  if (io.Request(fd, request, copy) == 0) return true;
  ReportFailure(request, out);
  return false;
}

}  // namespace

int SendFlag(DeviceIo& io, int fd, unsigned long request, std::uint8_t value, std::FILE* out) {
  std::array<std::uint8_t, kFlagByteSize> flag = {value};
  const int result = io.Request(fd, request, flag);
  if (result != 0) ReportFailure(request, out);
  return result;
}

void ReadParameters(CalibSession& s, DeviceIo& io, std::FILE* out, ReadStatus& reads) {
  reads.calib_x = ReadBlock(io, s.fd, GET_CALIB_PARA_X, s.CalibX, out);
  reads.calib_y = ReadBlock(io, s.fd, GET_CALIB_PARA_Y, s.CalibY, out);
  reads.device_config = ReadBlock(io, s.fd, GET_DEVICE_CONFIG, s.DeviceConfig, out);
}

void SaveParameters(CalibSession& s) {
  s.savedCalibX = s.CalibX;
  s.savedCalibY = s.CalibY;
  s.savedConfig = s.DeviceConfig;
}

void RecallSavedParameters(CalibSession& s) {
  s.CalibX = s.savedCalibX;
  s.CalibY = s.savedCalibY;
  s.DeviceConfig = s.savedConfig;
}

bool StoreParameters(const CalibSession& s, const ReadStatus& reads, DeviceIo& io, std::FILE* out) {
  bool ok = true;
  if (reads.calib_x) ok = WriteBlock(io, s.fd, SET_CALIB_PARA_X, s.CalibX, out) && ok;
  if (reads.calib_y) ok = WriteBlock(io, s.fd, SET_CALIB_PARA_Y, s.CalibY, out) && ok;
  if (reads.device_config) ok = WriteBlock(io, s.fd, SET_DEVICE_CONFIG, s.DeviceConfig, out) && ok;
  ok = SendFlag(io, s.fd, SET_START_CALIB, 0, out) == 0 && ok;
  ok = SendFlag(io, s.fd, DEVICE_RESET, 0, out) == 0 && ok;
  return ok;
}

}  // namespace lumaro
