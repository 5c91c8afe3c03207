#include "workbench/pst_thread.h"

#include <QMetaObject>
#include <optional>

#include "workbench/flicker_frame.h"

FlkPst::FlkPst(TfFlicker* frame)
    : run_([frame](const PstLmOutcome& outcome) {
        const QString frequency = QString::fromStdString(outcome.frequencyText);
        const QString svm = QString::fromStdString(outcome.svmText);
        const QString pst = QString::fromStdString(outcome.pstText);
        const std::optional<double> value = outcome.computed ? std::optional<double>(outcome.result.pst) : std::nullopt;
        // Queued to the frame's thread; the frame outlives this thread (it stops it first),
        // and an event still queued when the frame goes is dropped with it.
        QMetaObject::invokeMethod(
            frame,
            [frame, frequency, svm, pst, value] {
              frame->pstValue = value;
              frame->SetPstTexts(frequency, svm, pst);
              frame->pstRequested = 0;
            },
            Qt::QueuedConnection);
      }) {}

FlkPst::~FlkPst() { run_.Stop(); }

bool FlkPst::Request(const PstLmRequest& request) { return run_.Request(request); }

bool FlkPst::WaitIdle(int timeoutMs) const { return run_.WaitIdle(std::chrono::milliseconds(timeoutMs)); }
