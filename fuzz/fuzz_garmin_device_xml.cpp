// Fuzz target: the description a Garmin drive gives of itself ("Garmin/GarminDevice.xml"):
// the model and the folders of each data type, resolved on the drive.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/gps_position_info.h"
#include "fuzz/fuzz_support.h"
#include "gps/garmin/garmin_mass_storage.h"
#include "gps/gps_params.h"
#include "platform/os/files.h"
#include "platform/os/message_queue.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  // A drive with the folders a description usually names.
  for (const char* folder : {"drive/Garmin/GPX", "drive/Garmin/History", "drive/Garmin/NewFiles"})
    vd::os::MakeFolders(vd::fuzz::Folder() + "/" + folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vd::fuzz::WriteInput("drive/Garmin/GarminDevice.xml", data, size);
  vd::os::MessageWindow window([](const vd::os::Message&) { return intptr_t{0}; });
  GPSParams params;
  GPS_position_info record;
  CGarminMassStorage device(window, params, record, {vd::fuzz::Folder() + "/drive"});
  return 0;
}
