// USB transport over libusb-1.0, and the dispatch through the backend seam to
// real or virtual devices.
#include "tkx/tkxUSB.h"

#include "tkx/tkxTime.h"
#include "tkx/virtual/tkxVirtualBus.h"

#include <libusb.h>

#include <atomic>
#include <memory>
#include <new>

namespace {

// ---- pause after control transfers ---------------------------------------------

void SystemPause(double seconds) { tkx::Sleep(seconds); }
std::atomic<tkx::testing::PauseFn> controlPause{&SystemPause};
std::atomic<bool> libusbEnabled{true};

// ---- the libusb backend ------------------------------------------------------------

struct LibusbRecord {
  tkxUSBRecord base;
  libusb_device_handle *handle;
  libusb_transfer *read;
  libusb_transfer *write;
  // set while an asynchronous write is in flight; its transfer must not be refilled
  bool writing;
};

// completion of an asynchronous read: the byte count, or -1 unless it completed
void LIBUSB_CALL ReadCallback(libusb_transfer *transfer) {
  int *result = static_cast<int *>(transfer->user_data);
  *result = transfer->status == LIBUSB_TRANSFER_COMPLETED ? transfer->actual_length : -1;
}

void LIBUSB_CALL WriteCallback(libusb_transfer *transfer) {
  static_cast<LibusbRecord *>(transfer->user_data)->writing = false;
}

class LibusbBackend final : public tkxUSBBackend {
 public:
  void Init() override {
    if (ctx_ != nullptr) return;
    libusb_context *ctx = nullptr;
    // without a usable USB subsystem there are no real devices, and that is all
    if (libusb_init(&ctx) != 0) return;
    libusb_set_option(ctx, LIBUSB_OPTION_LOG_LEVEL, 3);
    ctx_ = ctx;
  }

  int Find(void **records, int room, int vendor, int product, bool resetFirst) override {
    if (ctx_ == nullptr || room <= 0) return 0;
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx_, &list);
    if (n < 0) return 0;
    int count = 0;
    for (ssize_t i = 0; i < n && count < room; ++i) {
      libusb_device_descriptor desc;
      if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
      if (desc.idVendor != vendor || desc.idProduct != product) continue;
      LibusbRecord *rec = Claim(list[i], resetFirst);
      if (rec != nullptr) records[count++] = rec;
    }
    libusb_free_device_list(list, 1);
    return count;
  }

  int Read(void *record, int endpoint, unsigned char *buffer, int length, bool async) override {
    LibusbRecord *rec = static_cast<LibusbRecord *>(record);
    if (!async) {
      int transferred = 0;
      const int r = libusb_bulk_transfer(rec->handle, static_cast<unsigned char>(endpoint), buffer, length,
                                         &transferred, TKX_USB_TIMEOUT_MS);
      return r == 0 ? transferred : -1;
    }
    int result = -2;
    libusb_fill_bulk_transfer(rec->read, rec->handle, static_cast<unsigned char>(endpoint), buffer, length,
                              ReadCallback, &result, TKX_USB_TIMEOUT_MS);
    if (libusb_submit_transfer(rec->read) != 0) return -1;
    // the transfer carries its own time-out, so this ends; should event handling
    // itself fail, cancel and still wait for the callback, which owns &result
    bool cancelled = false;
    while (result == -2) {
      const int r = libusb_handle_events_completed(ctx_, nullptr);
      if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED && !cancelled) {
        libusb_cancel_transfer(rec->read);
        cancelled = true;
      }
    }
    return result;
  }

  int Write(void *record, int endpoint, unsigned char *buffer, int length, bool async) override {
    LibusbRecord *rec = static_cast<LibusbRecord *>(record);
    if (!async) {
      int transferred = 0;
      const int r = libusb_bulk_transfer(rec->handle, static_cast<unsigned char>(endpoint), buffer, length,
                                         &transferred, TKX_USB_TIMEOUT_MS);
      return r == 0 ? 0 : -1;
    }
    if (rec->writing) return -1;
    libusb_fill_bulk_transfer(rec->write, rec->handle, static_cast<unsigned char>(endpoint), buffer, length,
                              WriteCallback, rec, TKX_USB_TIMEOUT_MS);
    // marked before submission: another thread's event handling may complete it at once
    rec->writing = true;
    if (libusb_submit_transfer(rec->write) == 0) return 0;
    rec->writing = false;
    return -1;
  }

  int ClearPipes(void *record, int pipeOut, int pipeIn) override {
    LibusbRecord *rec = static_cast<LibusbRecord *>(record);
    libusb_clear_halt(rec->handle, static_cast<unsigned char>(pipeOut));
    libusb_clear_halt(rec->handle, static_cast<unsigned char>(pipeIn));
    return 0;
  }

  int Control(void *record, int requestType, int request, int value, int index, unsigned char *data,
              int length) override {
    LibusbRecord *rec = static_cast<LibusbRecord *>(record);
    return libusb_control_transfer(rec->handle, static_cast<uint8_t>(requestType), static_cast<uint8_t>(request),
                                   static_cast<uint16_t>(value), static_cast<uint16_t>(index), data,
                                   static_cast<uint16_t>(length), TKX_USB_TIMEOUT_MS);
  }

  // takes back the record that Claim handed out
  int Release(void *record) override {
    std::unique_ptr<LibusbRecord> rec(static_cast<LibusbRecord *>(record));
    libusb_release_interface(rec->handle, 0);
    libusb_close(rec->handle);
    libusb_free_transfer(rec->read);
    libusb_free_transfer(rec->write);
    return 0;
  }

  void Cleanup() override {
    if (ctx_ == nullptr) return;
    libusb_exit(ctx_);
    ctx_ = nullptr;
  }

 private:
  // opens, configures and claims one device; null when any step fails
  LibusbRecord *Claim(libusb_device *dev, bool resetFirst) {
    libusb_device_handle *handle = nullptr;
    if (libusb_open(dev, &handle) != 0) return nullptr;
    if ((resetFirst && libusb_reset_device(handle) != 0) || libusb_set_configuration(handle, 1) != 0 ||
        libusb_claim_interface(handle, 0) != 0 || libusb_set_interface_alt_setting(handle, 0, 0) != 0) {
      libusb_close(handle);
      return nullptr;
    }
    libusb_transfer *write = libusb_alloc_transfer(0);
    libusb_transfer *read = libusb_alloc_transfer(0);
    std::unique_ptr<LibusbRecord> rec(
        write && read ? new (std::nothrow) LibusbRecord{{this}, handle, read, write, false} : nullptr);
    if (rec == nullptr) {
      libusb_free_transfer(write);
      libusb_free_transfer(read);
      libusb_release_interface(handle, 0);
      libusb_close(handle);
    }
    // the transport's device table holds it from here until Release
    return rec.release();
  }

  libusb_context *ctx_ = nullptr;
};

// immortal: records may still be released during static destruction
LibusbBackend &Libusb() {
  static LibusbBackend *backend = new LibusbBackend;
  return *backend;
}

tkxUSBBackend *BackendOf(void *record) { return record ? static_cast<tkxUSBRecord *>(record)->backend : nullptr; }

}  // namespace

namespace tkx {
namespace testing {

void SetControlPause(PauseFn fn) { controlPause.store(fn ? fn : &SystemPause); }

void EnableLibusbBackend(bool on) { libusbEnabled.store(on); }

}  // namespace testing
}  // namespace tkx

// ---- the transport functions -----------------------------------------------------------

void tkxUSBInit() {
  if (libusbEnabled.load()) Libusb().Init();
  tkx::virt::Backend().Init();
}

int tkxUSBFindDevices(void **records, int vendor, int product, int *pipeOut, int *pipeIn) {
  bool resetFirst;
  int in;
  if (vendor == TKX_FALCON_VENDOR_ID) {
    in = 0x81;
    resetFirst = true;
  } else if (vendor == TKX_USB_VENDOR_ID) {
    in = 0x86;
    resetFirst = false;
  } else {
    return -1;
  }
  if (pipeOut) *pipeOut = 0x02;
  if (pipeIn) *pipeIn = in;
  if (records == nullptr) return 0;
  int count = 0;
  if (libusbEnabled.load()) count = Libusb().Find(records, TKX_USB_MAX_DEVICES, vendor, product, resetFirst);
  count += tkx::virt::Backend().Find(records + count, TKX_USB_MAX_DEVICES - count, vendor, product, resetFirst);
  return count;
}

int tkxUSBFillDeviceTable(void **records, int *allocation, int max, int vendor, int product, int *pipeOut,
                          int *pipeIn) {
  tkxUSBInit();
  int n = tkxUSBFindDevices(records, vendor, product, pipeOut, pipeIn);
  if (n < 0) n = 0;
  if (n > max) n = max;
  for (int i = 0; i < max; ++i) allocation[i] = i < n ? 0 : -1;
  return n;
}

void tkxUSBEmptyDeviceTable(void **records, int *allocation, int max) {
  for (int i = 0; i < max; ++i) {
    if (records[i] != nullptr) tkxUSBReleaseDevice(records[i]);
    records[i] = nullptr;
    allocation[i] = -1;
  }
}

int tkxUSBReadData(void *record, int endpoint, unsigned char *buffer, int length, bool async) {
  tkxUSBBackend *b = BackendOf(record);
  if (b == nullptr || buffer == nullptr || length < 0) return -1;
  return b->Read(record, endpoint, buffer, length, async);
}

int tkxUSBWriteData(void *record, int endpoint, unsigned char *buffer, int length, bool async) {
  tkxUSBBackend *b = BackendOf(record);
  if (b == nullptr || buffer == nullptr || length < 0) return -1;
  return b->Write(record, endpoint, buffer, length, async);
}

int tkxUSBClearPipes(void *record, int pipeOut, int pipeIn) {
  tkxUSBBackend *b = BackendOf(record);
  if (b != nullptr) b->ClearPipes(record, pipeOut, pipeIn);
  return 0;
}

int tkxUSBControlMsg(void *record, int requestType, int request, int value, int index, unsigned char *data,
                     int length) {
  tkxUSBBackend *b = BackendOf(record);
  // a data stage needs a buffer of that size: libusb would copy from or into it
  if (b == nullptr || length < 0 || (data == nullptr && static_cast<uint16_t>(length) != 0)) return -1;
  // the requests used have no data stage: anything but exactly 0 is a failure
  if (b->Control(record, requestType, request, value, index, data, length) != 0) return -1;
  controlPause.load()(0.2);
  return 0;
}

int tkxUSBReleaseDevice(void *record) {
  tkxUSBBackend *b = BackendOf(record);
  if (b != nullptr) b->Release(record);
  return 0;
}

int tkxUSBCleanup(int, int) {
  Libusb().Cleanup();
  tkx::virt::Backend().Cleanup();
  return 0;
}
