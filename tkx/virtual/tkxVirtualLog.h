// The bus log as seen from inside the virtual devices: lines are queued in memory
// and written by the log's own thread, so no exchange ever waits for the file.
#ifndef TKX_VIRTUAL_LOG_H
#define TKX_VIRTUAL_LOG_H

namespace tkx {
namespace virt {

class Device;

namespace detail {

// true once a log file is open; a relaxed load, cheap enough for the exchange path
bool LogEnabled();
// queues one event line about dev; written within a fraction of a second
void LogEvent(const Device &dev, const char *text);
// queues the line and writes everything queued before returning (not for exchanges)
void LogEventNow(const Device &dev, const char *text);
// queues one event line about the virtual Falcon of this number
void LogFalconEvent(int number, const char *text);

}  // namespace detail
}  // namespace virt
}  // namespace tkx

#endif
