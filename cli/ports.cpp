#include "cli/ports.h"

#include "serial/local/adapter_info.h"
#include "serial/local/serial_port.h"

namespace {

Json textOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

// "USB 0403:6001 FT232R USB UART, serial A50285BI"
std::string usbText(const AdapterInfo& info) {
    std::string text = "USB " + info.vendorId + ":" + info.productId;
    if (!info.product.empty()) text += " " + info.product;
    if (!info.serial.empty()) text += ", serial " + info.serial;
    return text;
}

} // namespace

std::string describeAdapter(const std::string& devicePath, Json& json, std::string& text) {
    AdapterInfo info = adapterInfo(devicePath);
    if (info.latencyTimerMs > 1 && SerialPort::lowerLatency(devicePath)) info = adapterInfo(devicePath);
    std::string details;
    if (info.usb) {
        json["usb"] = {{"vendor_id", info.vendorId},
                       {"product_id", info.productId},
                       {"product", textOrNull(info.product)},
                       {"serial", textOrNull(info.serial)}};
        details = usbText(info);
    } else {
        json["usb"] = nullptr;
    }
    json["latency_timer_ms"] = info.latencyTimerMs < 0 ? Json(nullptr) : Json(info.latencyTimerMs);
    if (info.latencyTimerMs >= 0)
        details +=
            (details.empty() ? "" : ", ") + std::string("latency timer ") + std::to_string(info.latencyTimerMs) + " ms";
    if (!details.empty()) text += "\t" + details;
    if (info.latencyTimerMs <= 1) return {};
    const std::string ms = std::to_string(info.latencyTimerMs) + " ms";
    return "the adapter's latency timer is " + ms + " and could not be lowered: each reply may wait up to " + ms +
           " in the adapter; set it to 1 ms " + latencyTimerHowTo(devicePath);
}
