#pragma once
// The three pipes of a USB device that speaks the packet protocol: bulk out for everything the
// program sends, an interrupt pipe on which the device sends short packets and says when more
// is waiting, and bulk in for what is waiting. CGarminUSB talks through this interface; the
// real one is over libusb, tests put a fake device behind it.
#include <cstddef>
#include <cstdint>
#include <memory>

class GarminUsbTransport {
 public:
  virtual ~GarminUsbTransport() = default;

  // Finds and claims the device; false with error set to an errno-style code when there is
  // none or it cannot be claimed.
  virtual bool Open(int& error) = 0;
  virtual void Close() = 0;
  // Each returns the bytes moved, 0 when nothing moved within its time (200 ms for an
  // interrupt read, 1000 ms for the others), -1 on failure.
  virtual int Write(const uint8_t* data, size_t size) = 0;
  virtual int ReadInterrupt(uint8_t* data, size_t size) = 0;
  virtual int ReadBulk(uint8_t* data, size_t size) = 0;
};

// The transport over libusb: the first device of the maker's USB vendor id.
std::unique_ptr<GarminUsbTransport> MakeLibusbGarminTransport();

// Whether such a device can be opened now (it is closed again).
bool GarminUSBAvailable();
