#include "gps/garmin/garmin_usb_transport.h"

#include <libusb.h>

#include <cerrno>

namespace {

constexpr uint16_t kVendorId = 0x091E;
constexpr unsigned kInterruptTimeoutMs = 200;
constexpr unsigned kBulkTimeoutMs = 1000;

class LibusbTransport : public GarminUsbTransport {
 public:
  ~LibusbTransport() override { Close(); }

  bool Open(int& error) override {
    Close();
    error = ENODEV;
    if (libusb_init(&context_) != 0) {
      context_ = nullptr;
      return false;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count && !handle_; ++i) {
      libusb_device_descriptor descriptor;
      if (libusb_get_device_descriptor(list[i], &descriptor) != 0 ||
          descriptor.idVendor != kVendorId)
        continue;
      libusb_device_handle* handle = nullptr;
      if (libusb_open(list[i], &handle) != 0) {
        error = EACCES;
        continue;
      }
      if (FindEndpoints(list[i]) && ClaimInterface(handle)) {
        handle_ = handle;
      } else {
        error = EBUSY;
        libusb_close(handle);
      }
    }
    if (list) libusb_free_device_list(list, 1);
    if (!handle_) Close();
    return handle_ != nullptr;
  }

  void Close() override {
    if (handle_) {
      libusb_release_interface(handle_, 0);
      libusb_close(handle_);
      handle_ = nullptr;
    }
    if (context_) {
      libusb_exit(context_);
      context_ = nullptr;
    }
  }

  int Write(const uint8_t* data, size_t size) override {
    return Transfer(bulk_out_, const_cast<uint8_t*>(data), size, kBulkTimeoutMs, false);
  }
  int ReadInterrupt(uint8_t* data, size_t size) override {
    return Transfer(interrupt_in_, data, size, kInterruptTimeoutMs, true);
  }
  int ReadBulk(uint8_t* data, size_t size) override {
    return Transfer(bulk_in_, data, size, kBulkTimeoutMs, false);
  }

 private:
  bool FindEndpoints(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0) return false;
    bulk_in_ = bulk_out_ = interrupt_in_ = 0;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
      const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        const bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
        switch (ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) {
          case LIBUSB_TRANSFER_TYPE_BULK: (in ? bulk_in_ : bulk_out_) = ep.bEndpointAddress; break;
          case LIBUSB_TRANSFER_TYPE_INTERRUPT: if (in) interrupt_in_ = ep.bEndpointAddress; break;
          default: break;
        }
      }
    }
    libusb_free_config_descriptor(config);
    return bulk_in_ && bulk_out_ && interrupt_in_;
  }

  static bool ClaimInterface(libusb_device_handle* handle) {
    libusb_set_auto_detach_kernel_driver(handle, 1);
    return libusb_claim_interface(handle, 0) == 0;
  }

  int Transfer(uint8_t endpoint, uint8_t* data, size_t size, unsigned timeout_ms, bool interrupt) {
    if (!handle_) return -1;
    int moved = 0;
    const int length = static_cast<int>(size);
    const int rc = interrupt
                       ? libusb_interrupt_transfer(handle_, endpoint, data, length, &moved, timeout_ms)
                       : libusb_bulk_transfer(handle_, endpoint, data, length, &moved, timeout_ms);
    if (rc == 0 || rc == LIBUSB_ERROR_TIMEOUT) return moved;
    return -1;
  }

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  uint8_t bulk_in_ = 0;
  uint8_t bulk_out_ = 0;
  uint8_t interrupt_in_ = 0;
};

}  // namespace

std::unique_ptr<GarminUsbTransport> MakeLibusbGarminTransport() {
  return std::make_unique<LibusbTransport>();
}

bool GarminUSBAvailable() {
  LibusbTransport transport;
  int error = 0;
  const bool found = transport.Open(error);
  transport.Close();
  return found;
}
