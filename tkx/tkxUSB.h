// USB transport: free functions that find the supported devices, keep them
// opened and claimed, and move bytes over their bulk and control endpoints.
//
// A device is an opaque record. Under the functions sits a backend seam: every
// record starts with a tkxUSBRecord naming the backend that made it, so a real
// device (libusb) and a virtual one (the in-process virtual bus) look the same
// to the communication classes. Discovery asks libusb first, then the virtual
// bus, so virtual devices come after any real ones.
//
// None of these functions sets the per-thread error code; the callers do.
#ifndef TKX_USB_H
#define TKX_USB_H

// the maker's USB vendor identifier; the devices answer as product 0x0301
#define TKX_USB_VENDOR_ID 0x3A7C
#define TKX_USB_PRODUCT_ID 0x0301
// the Falcon sits behind a USB serial converter of this vendor
#define TKX_FALCON_VENDOR_ID 0x0403

// every transfer gives up after this long
#define TKX_USB_TIMEOUT_MS 500
// the communication classes keep at most this many records
#define TKX_USB_MAX_DEVICES 4

class tkxUSBBackend;

// first member of every device record
struct tkxUSBRecord {
  tkxUSBBackend *backend;
};

// one way of reaching devices. Records made by Find belong to the backend until
// Release; Read returns the byte count or -1, the others 0 or -1.
class tkxUSBBackend {
 public:
  virtual ~tkxUSBBackend() = default;
  virtual void Init() = 0;
  // stores up to room records of devices matching vendor and product; returns how many
  virtual int Find(void **records, int room, int vendor, int product, bool resetFirst) = 0;
  virtual int Read(void *record, int endpoint, unsigned char *buffer, int length, bool async) = 0;
  virtual int Write(void *record, int endpoint, unsigned char *buffer, int length, bool async) = 0;
  virtual int ClearPipes(void *record, int pipeOut, int pipeIn) = 0;
  // the raw library result: 0 or a byte count on success, negative on failure
  virtual int Control(void *record, int requestType, int request, int value, int index, unsigned char *data,
                      int length) = 0;
  virtual int Release(void *record) = 0;
  virtual void Cleanup() = 0;
};

// creates the library context once (debug level 3)
void tkxUSBInit();
// discovery: sets the endpoints for the vendor and stores at most four records.
// Returns the number stored, or -1 for an unknown vendor (outputs untouched).
int tkxUSBFindDevices(void **records, int vendor, int product, int *pipeOut, int *pipeIn);
// one bulk IN transfer of at most length bytes: the byte count, or -1 (time-outs included)
int tkxUSBReadData(void *record, int endpoint, unsigned char *buffer, int length, bool async);
// one bulk OUT transfer: 0 or -1. An asynchronous write returns once submitted; the
// buffer must outlive the transfer, whose completion the next asynchronous read handles.
int tkxUSBWriteData(void *record, int endpoint, unsigned char *buffer, int length, bool async);
// clears the halt state of both endpoints, results ignored; 0
int tkxUSBClearPipes(void *record, int pipeOut, int pipeIn);
// one control transfer without data stage: 0 after a 200 ms pause when the library
// answers exactly 0, else -1 at once
int tkxUSBControlMsg(void *record, int requestType, int request, int value, int index, unsigned char *data, int length);
// releases the interface, closes the device and frees the record; 0
int tkxUSBReleaseDevice(void *record);
// ends the library context, if any; 0
int tkxUSBCleanup(int vendor, int product);

// a channel class's table of devices: discovery of the vendor's devices into at
// most max records, those found free (0) and the rest released (-1). Returns the
// number found, 0 when discovery fails.
int tkxUSBFillDeviceTable(void **records, int *allocation, int max, int vendor, int product, int *pipeOut, int *pipeIn);
// every record of the table released and every entry marked released (-1)
void tkxUSBEmptyDeviceTable(void **records, int *allocation, int max);

namespace tkx {
namespace testing {

// replaces the pause after a successful control transfer (seconds); nullptr restores it
using PauseFn = void (*)(double seconds);
void SetControlPause(PauseFn fn);

// enables or disables the real (libusb) backend for later discoveries; tests that
// want only virtual devices switch it off
void EnableLibusbBackend(bool on);

}  // namespace testing
}  // namespace tkx

#endif
