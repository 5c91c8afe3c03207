#include "app/main_window.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/skin.h"
#include "app/version_check.h"
#include "instrument/registry.h"
#include "workbench/device_tree.h"
#include "workbench/flicker_frame.h"
#include "workbench/icons.h"

TForm1* Form1 = nullptr;

namespace {

// The name an instrument of the four-angle tool reports for itself; never picked alone.
constexpr char kFourAngleToolName[] = "orv_at001n";

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  SpInit(1, 300);
  curDevice.reset();
  curChannel = -1;
  setMinimumSize(1024, 736);
  resize(1024, 736);
  bReady = 0;
  setWindowTitle("Quivra");
  setWindowIcon(ProgramIcon(IconKind::Capture, 64));

  sPanel1 = new QWidget(this);
  sPanel1->setObjectName("sPanel1");
  auto* layout = new QVBoxLayout(sPanel1);
  layout->setContentsMargins(0, 0, 0, 0);
  fFlicker = new TfFlicker(QString::fromLatin1(kProductAndVersion));
  devMgr = new TSpExpDevMgr(fFlicker->frSpListView1->TreeView1, &fFlicker->frSpListView1->devices);
  fFlicker->setParent(sPanel1);
  layout->addWidget(fFlicker);
  setCentralWidget(sPanel1);

  fFlicker->onMount = [this](bool automatic) { ConnectDevice(automatic); };
  connect(fFlicker->btnSimulator, &QPushButton::clicked, this, [this] {
    if (openSimulator_) openSimulator_();
  });

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1->start();
  if (!Form1) Form1 = this;
}

TForm1::~TForm1() {
  FormClose();
  delete devMgr;
  devMgr = nullptr;
  delete fFlicker;  // before the window's own teardown: it stops its threads first
  fFlicker = nullptr;
  if (Form1 == this) Form1 = nullptr;
}

bool TForm1::FormCreate() {
  const bool ending = CheckNewVersion();
  bReady = 1;
  return ending;
}

void TForm1::FormShow() { ApplySkin(SkinFolder()); }

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TForm1::FormClose() {
  if (closed_) return;
  closed_ = true;
  Timer1->stop();
  fFlicker->Timer1->stop();
  fFlicker->tmrPickup->stop();
  fFlicker->StopCapture();
  fFlicker->capturing = 0;
  // Closing every instrument also ends a PstLM capture at once; the run, marked as ending
  // first, reports nothing of it, finishes its step and ends before the frame goes.
  fFlicker->EndPstLM();
  SpShutdown();
  fFlicker->StopPstLM(30000);
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TForm1::SetSimulatorWindowOpener(std::function<void()> open) {
  openSimulator_ = std::move(open);
  fFlicker->btnSimulator->setVisible(static_cast<bool>(openSimulator_));
}

// --- the connection supervisor ------------------------------------------------------------

void TForm1::Timer1Timer() {
  if (!bReady || closed_ || connecting_) return;
  if (!SpListChanged()) return;
  TfrSpListView* view = fFlicker->frSpListView1;
  view->RefreshDeviceList();
  // The connected instrument was unplugged while others stay attached: it is dropped here,
  // and the rules below connect another one.
  if (curDevice && !SpIsListed(curDevice.get())) DisconnectDevice();
  const int n = SpDeviceCount();
  if (n == 0) {
    if (curDevice) DisconnectDevice();
  } else if (n == 1) {
    if (!curDevice) ConnectDevice(fFlicker->chkAutoConnection->isChecked());
  } else if (n >= 2) {
    if (!curDevice) {
      view->RefreshDeviceListGrouped();
      ConnectDevice(fFlicker->chkAutoConnection->isChecked());
    }
  }
}

void TForm1::ConnectDevice(bool automatic) {
  if (connecting_) return;
  connecting_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{connecting_};

  const int n = SpDeviceCount();
  if (curDevice) DisconnectDevice();
  SpDevicePtr entry;
  if (!automatic)
    entry = fFlicker->frSpListView1->SelectedDevice();
  else if (n == 1)
    entry = SpFindOtherThan(kFourAngleToolName);
  else
    entry = devMgr->PickDevice(1);
  if (!entry) return;
  curDevice = entry;
  curChannel = SpChannelOf(entry->name);
  const QString label = "Dev : " + QString::fromUtf8(entry->serial);
  try {
    fFlicker->SetDevice(entry, curChannel);
  } catch (...) {
    fFlicker->lblDevName->setText(label);
    throw;
  }
  fFlicker->lblDevName->setText(label);
}

void TForm1::DisconnectDevice() {
  if (!curDevice) return;
  curDevice.reset();
  SpReleaseChannel(curChannel);
  curChannel = -1;
  fFlicker->SetDevice(nullptr, -1);
  fFlicker->lblDevName->setText("Dev : ");
}
