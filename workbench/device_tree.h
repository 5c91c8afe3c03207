// The device tree on the "Device" page: one top node per attached instrument, labelled with
// its serial number, with its information lines as children; plain or grouped by four-angle
// unit number. The arrangement itself is instrument/device_info.h; these classes draw it and
// turn the selection back into an entry.
#pragma once

#include <QTreeWidget>
#include <QWidget>
#include <vector>

#include "instrument/device.h"
#include "instrument/device_info.h"

using DeviceList = std::vector<SpDevicePtr>;

// Builds the tree from a device list and finds the selected instrument.
class TtvDevMgr {
 public:
  // Builds the plain tree from the list at once.
  TtvDevMgr(QTreeWidget* tree, const DeviceList* list);
  void BuildPlain(const DeviceList& list);
  void BuildGrouped(const DeviceList& list);
  // The entry among the first shownCount ones whose serial equals the selected node's
  // whole text; null when nothing is selected or nothing matches (a child line).
  SpDevicePtr FindSelected(const DeviceList& list) const;

  int shownCount = 0;  // top nodes of the last build
  QTreeWidget* tree;

 private:
  void Draw(const DeviceTree& built);
};

// The device tree frame: TreeView1 filling it and the list of entries it shows.
class TfrSpListView : public QWidget {
 public:
  explicit TfrSpListView(QWidget* parent = nullptr);
  ~TfrSpListView() override;
  // Refills the list from the registry and builds the plain / grouped tree.
  void RefreshDeviceList();
  void RefreshDeviceListGrouped();
  // The listed instrument whose serial is the selected node's text; null otherwise.
  SpDevicePtr SelectedDevice() const;

  QTreeWidget* TreeView1;
  DeviceList devices;  // entries as of the last refresh
  TtvDevMgr* devMgr;
};

// The main window's device chooser, bound to the frame's tree and its list.
class TSpExpDevMgr {
 public:
  TSpExpDevMgr(QTreeWidget* tree, const DeviceList* list);
  // Clears the tree and remembers the list.
  void Build(const DeviceList* list);
  // The four-angle unit with that unit number, else the entry whose serial equals the first
  // 8 characters of the selected node's text, else null.
  SpDevicePtr PickDevice(int unitNumber) const;

 private:
  QTreeWidget* tree_;
  const DeviceList* list_ = nullptr;
};

// Text of the selected node of a tree, or false when none is selected.
bool SelectedNodeText(const QTreeWidget* tree, std::string* text);
