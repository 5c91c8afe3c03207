#include "workbench/device_tree.h"

#include <QVBoxLayout>

#include "instrument/device_info.h"
#include "instrument/registry.h"

bool SelectedNodeText(const QTreeWidget* tree, std::string* text) {
  const QList<QTreeWidgetItem*> selected = tree->selectedItems();
  if (selected.isEmpty()) return false;
  *text = selected.first()->text(0).toStdString();
  return true;
}

// --- TtvDevMgr ----------------------------------------------------------------------------

TtvDevMgr::TtvDevMgr(QTreeWidget* tree_, const DeviceList* list) : tree(tree_) {
  BuildPlain(*list);
}

void TtvDevMgr::Draw(const DeviceTree& built) {
  for (const DeviceTreeNode& node : built.nodes) {
    auto* top = new QTreeWidgetItem(tree, QStringList(QString::fromStdString(node.text)));
    for (const std::string& line : node.lines)
      new QTreeWidgetItem(top, QStringList(QString::fromStdString(line)));
  }
  shownCount = built.shownCount;
}

void TtvDevMgr::BuildPlain(const DeviceList& list) {
  tree->clear();
  Draw(BuildPlainTree(list, shownCount));
}

void TtvDevMgr::BuildGrouped(const DeviceList& list) {
  tree->clear();
  Draw(BuildGroupedTree(list, shownCount));
  tree->expandAll();
}

SpDevicePtr TtvDevMgr::FindSelected(const DeviceList& list) const {
  std::string text;
  const bool selected = SelectedNodeText(tree, &text);
  return FindSelectedDevice(list, shownCount, selected ? &text : nullptr);
}

// --- TfrSpListView ------------------------------------------------------------------------

TfrSpListView::TfrSpListView(QWidget* parent) : QWidget(parent) {
  setObjectName("frSpListView1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  TreeView1 = new QTreeWidget(this);
  TreeView1->setObjectName("TreeView1");
  TreeView1->setHeaderHidden(true);
  TreeView1->setIndentation(19);
  TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(TreeView1);
  devMgr = new TtvDevMgr(TreeView1, &devices);
}

TfrSpListView::~TfrSpListView() { delete devMgr; }

void TfrSpListView::RefreshDeviceList() {
  devices = SpDevices();
  devMgr->BuildPlain(devices);
}

void TfrSpListView::RefreshDeviceListGrouped() {
  devices = SpDevices();
  devMgr->BuildGrouped(devices);
}

SpDevicePtr TfrSpListView::SelectedDevice() const { return devMgr->FindSelected(devices); }

// --- TSpExpDevMgr -------------------------------------------------------------------------

TSpExpDevMgr::TSpExpDevMgr(QTreeWidget* tree, const DeviceList* list) : tree_(tree) { Build(list); }

void TSpExpDevMgr::Build(const DeviceList* list) {
  tree_->clear();
  list_ = list;
}

SpDevicePtr TSpExpDevMgr::PickDevice(int unitNumber) const {
  if (!list_) return nullptr;
  std::string text;
  const bool selected = SelectedNodeText(tree_, &text);
  return ::PickDevice(*list_, unitNumber, selected ? &text : nullptr);
}
