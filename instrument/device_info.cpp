#include "instrument/device_info.h"

#include <cstring>

#include "analysis/numfmt.h"
#include "instrument/identification.h"

namespace {

// Text of a version field without its six-character prefix ("HWVer:", "FWVer:").
std::string WithoutPrefix(const char* text) {
  const std::size_t length = std::strlen(text);
  return length > 6 ? std::string(text + 6) : std::string();
}

std::string Gain(float value) { return FormatPattern(value, "#0.000"); }

void AppendFourAngleLines(const SpDevice& dev, std::vector<std::string>& lines) {
  lines.push_back("4Angle ID : " + std::to_string(dev.fourAngleId));
  lines.push_back("4Angle SN : " + dev.fourAngleSerial);
}

void AppendCommonLines(const SpDevice& dev, std::vector<std::string>& lines) {
  lines.push_back(std::string("Model : ") + dev.model);
  lines.push_back("HW : " + WithoutPrefix(dev.hwVersion));
  lines.push_back("FW : " + WithoutPrefix(dev.fwVersion));
  lines.push_back("ID : " + std::to_string(dev.id));
  lines.push_back("Wavelength(Start) : " + std::to_string(dev.wavelengthStart));
  lines.push_back("Wavelength(End) : " + std::to_string(dev.wavelengthEnd));
  lines.push_back("X-Gain : " + Gain(dev.xGain));
  lines.push_back("Y-Gain : " + Gain(dev.yGain));
  lines.push_back("Z-Gain : " + Gain(dev.zGain));
  lines.push_back("L-Gain : " + Gain(dev.lGain));
}

// An empty list leaves the tree empty and keeps the shown count of the last build.
DeviceTree EmptyTree(const std::vector<SpDevicePtr>& list, int previousShown) {
  DeviceTree tree;
  tree.shownCount = list.empty() ? previousShown : 0;
  return tree;
}

}  // namespace

std::vector<std::string> DeviceInfoLines(const SpDevice& dev) {
  std::vector<std::string> lines;
  lines.push_back(std::string("SN : ") + dev.serial);
  if (IsFourAngleModel(dev.modelCode)) AppendFourAngleLines(dev, lines);
  AppendCommonLines(dev, lines);
  return lines;
}

std::vector<std::string> DeviceInfoLinesGrouped(const SpDevice& dev) {
  std::vector<std::string> lines;
  AppendFourAngleLines(dev, lines);
  lines.push_back(std::string("SN : ") + dev.serial);
  AppendCommonLines(dev, lines);
  return lines;
}

DeviceTree BuildPlainTree(const std::vector<SpDevicePtr>& list, int previousShown) {
  DeviceTree tree = EmptyTree(list, previousShown);
  for (const SpDevicePtr& dev : list) {
    if (!dev) continue;
    tree.nodes.push_back({dev, dev->serial, DeviceInfoLines(*dev)});
    ++tree.shownCount;
  }
  return tree;
}

DeviceTree BuildGroupedTree(const std::vector<SpDevicePtr>& list, int previousShown) {
  DeviceTree tree = EmptyTree(list, previousShown);
  if (list.empty() || !list.front() || !IsFourAngleModel(list.front()->modelCode)) return tree;
  while (tree.shownCount < int(list.size())) {
    const int unit = ++tree.shownCount;
    for (const SpDevicePtr& dev : list)
      if (dev && dev->fourAngleId == unit) tree.nodes.push_back({dev, dev->serial, DeviceInfoLinesGrouped(*dev)});
  }
  return tree;
}

SpDevicePtr FindSelectedDevice(const std::vector<SpDevicePtr>& list, int shownCount,
                               const std::string* selected) {
  if (!selected) return nullptr;
  for (int i = 0; i < shownCount && i < int(list.size()); ++i)
    if (list[i] && *selected == list[i]->serial) return list[i];
  return nullptr;
}

SpDevicePtr PickDevice(const std::vector<SpDevicePtr>& list, int unitNumber, const std::string* selected) {
  for (const SpDevicePtr& dev : list)
    if (dev && IsFourAngleModel(dev->modelCode) && dev->fourAngleId == unitNumber) return dev;
  if (!selected) return nullptr;
  const std::string head = selected->substr(0, 8);
  for (const SpDevicePtr& dev : list)
    if (dev && head == dev->serial) return dev;
  return nullptr;
}
