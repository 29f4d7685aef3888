// A hook a device may call from its own thread; kept for devices that report
// events. The wrappers here store none.
#ifndef SCENE_CCALLBACK_H
#define SCENE_CCALLBACK_H

class cCallback {
 public:
  virtual ~cCallback() = default;
  // called by the device with nothing to report but the event itself
  virtual void callback() {}
};

#endif
