// The device tree as plain data: the information lines of an instrument, the plain and the
// grouped (by four-angle unit number) arrangement of the top nodes, and the lookups that turn
// a selected node's text back into an entry. A tree widget only draws what this returns.
#pragma once

#include <string>
#include <vector>

#include "instrument/device.h"

// Lines under an instrument's node: "SN : ", for model codes 0xC1/0xC2 "4Angle ID : " and
// "4Angle SN : ", then "Model : ", "HW : ", "FW : ", "ID : ", "Wavelength(Start) : ",
// "Wavelength(End) : ", "X-Gain : " .. "L-Gain : ".
std::vector<std::string> DeviceInfoLines(const SpDevice& dev);
// The grouped tree's order: the two four-angle lines first, then the rest as above.
std::vector<std::string> DeviceInfoLinesGrouped(const SpDevice& dev);

struct DeviceTreeNode {
  SpDevicePtr device;
  std::string text;                // the node's text: the instrument's serial
  std::vector<std::string> lines;  // its children
};

struct DeviceTree {
  std::vector<DeviceTreeNode> nodes;
  int shownCount = 0;  // entries at the front of the list that the selection lookup considers
};

// One node per entry in list order. An empty list gives no nodes and keeps previousShown.
DeviceTree BuildPlainTree(const std::vector<SpDevicePtr>& list, int previousShown);
// Entries by four-angle unit number 1..n (n entries), entries of one number in list order;
// nothing when the first entry is not a four-angle unit. An empty list keeps previousShown.
DeviceTree BuildGroupedTree(const std::vector<SpDevicePtr>& list, int previousShown);

// The first of the first shownCount entries whose serial equals the selected node's whole
// text; null when nothing is selected (selected is null) or nothing matches.
SpDevicePtr FindSelectedDevice(const std::vector<SpDevicePtr>& list, int shownCount,
                               const std::string* selected);
// The first four-angle unit (0xC1/0xC2) with that unit number; failing that, the first entry
// whose serial equals the first 8 characters of the selected node's text; else null.
SpDevicePtr PickDevice(const std::vector<SpDevicePtr>& list, int unitNumber,
                       const std::string* selected);
