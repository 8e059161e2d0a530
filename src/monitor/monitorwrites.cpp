// The monitor engine's work besides polling: single writes with their
// unlock, write-all to one controller or by broadcast, the program write and
// read, the read of another slot's setup, the save and the waits for a whole
// image; and ending work whose controller is gone.
#include "monitor/monitorengine.h"

#include "setup/registermap.h"
#include "setup/writeall.h"

#include <algorithm>
#include <utility>

namespace {

// Failed attempts after which a single write, a batch item (write-all) or a
// read block is given up, unless the line's settings give a number of
// retries.
constexpr int ItemAttempts = 4;

QString describeBlock(const ReadBlock &b)
{
    return QStringLiteral("%1 (%2 register%3)")
        .arg(QStringLiteral("%1").arg(b.start, 4, 16, QLatin1Char('0')).toUpper())
        .arg(b.count)
        .arg(b.count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString MonitorEngine::slotName(int n) const
{
    return QStringLiteral("controller %1 (address %2)").arg(n).arg(m_state.at(n).DeviceAddress);
}

// ---------------------------------------------------------------- single writes

void MonitorEngine::requestWrite(int address, int reg, int value, bool unlock)
{
    // A register that needs the unlock gets it, whoever asks.
    const RegisterWrite write {reg, value & 0xFFFF, unlock || RegisterNeedsUnlock(reg), -1};
    const int slot = slotOfAddress(address);
    if (slot == 0 || address < 1) {
        SingleWriteReport r {
            address,     reg,
            write.value, WriteOutcome::NotSent,
            {},          QStringLiteral("no connected slot polls address %1").arg(address)};
        m_view.errText = WriteAll::describe(reg) + QStringLiteral(" not written: ") + r.why;
        if (hooks.singleWriteEnded)
            hooks.singleWriteEnded(r);
        changed();
        return;
    }
    // A newer value for a register whose write has not gone out takes its
    // place; one that has gone out is followed by the newer one.
    for (SingleWrite &w : m_singles) {
        if (!w.sent && w.address == address && w.write.reg == reg) {
            w.write.value = write.value;
            w.write.unlock = w.write.unlock || write.unlock;
            return;
        }
    }
    SingleWrite w;
    w.id = m_nextId++;
    w.slot = slot;
    w.address = address;
    w.write = write;
    m_singles.push_back(w);
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
}

SingleWrite *MonitorEngine::singleOf(quint64 id)
{
    for (SingleWrite &w : m_singles)
        if (w.id == id)
            return &w;
    return nullptr;
}

bool MonitorEngine::sendSingle(int index)
{
    if (index < 0 || index >= int(m_singles.size()))
        return false;
    const SingleWrite &w = m_singles.at(size_t(index));
    Exchange x;
    x.slot = w.slot;
    x.address = w.address;
    x.work = w.id;
    const bool unlock = w.write.unlock && !w.unlocked;
    x.serves = unlock ? Serves::SingleUnlock : Serves::SingleWrite;
    const ModbusRequest request = unlock ? WriteRequest(w.address, UnlockRegister, UnlockKey)
                                         : WriteRequest(w.address, w.write.reg, w.write.value);
    const quint64 id = w.id;
    const bool went = send(x, request, ReadWindowTicks);
    // Sent once a frame of it is on the line (not while it waits for a read
    // of another shape, nor a send the line refused).
    if (SingleWrite *s = singleOf(id); s && m_inFlight && m_inFlight->work == id)
        s->sent = true;
    return went;
}

void MonitorEngine::singleDone(const Exchange &x, WriteOutcome outcome,
                               const TransactionResult &error)
{
    auto it = std::find_if(m_singles.begin(), m_singles.end(),
                           [&](const SingleWrite &w) { return w.id == x.work; });
    if (it == m_singles.end())
        return; // ended meanwhile (its slot was disconnected)
    if (outcome == WriteOutcome::Written && x.serves == Serves::SingleUnlock) {
        it->unlocked = true; // the write itself goes next
        return;
    }
    if (outcome == WriteOutcome::NoAnswer) {
        // Asked again, with its unlock, until its attempts are spent.
        it->unlocked = false;
        if (++it->failures < itemAttempts())
            return;
    }
    QString why;
    if (outcome == WriteOutcome::Refused)
        why =
            QStringLiteral("the controller refused it (%1)").arg(MonitorErrorText(error).trimmed());
    else if (outcome == WriteOutcome::NoAnswer)
        why = QStringLiteral("the controller did not answer");
    const int address = it->address;
    endSingle(it, outcome, error, why);
    // Whatever became of it, the parameters are read back: a refused value
    // shows as the controller holds it.
    if (address == m_state.at(m_state.SelectedDevice).DeviceAddress)
        markStale();
}

void MonitorEngine::endSingle(std::deque<SingleWrite>::iterator it, WriteOutcome outcome,
                              const TransactionResult &error, const QString &why)
{
    const SingleWriteReport r {it->address, it->write.reg, it->write.value, outcome, error, why};
    m_singles.erase(it);
    if (outcome != WriteOutcome::Written && outcome != WriteOutcome::Refused)
        m_view.errText = WriteAll::describe(r.reg) + QStringLiteral(" not written: ") + why;
    if (hooks.singleWriteEnded)
        hooks.singleWriteEnded(r);
}

// ---------------------------------------------------------------- jobs

Job *MonitorEngine::jobOf(quint64 id)
{
    for (Job &j : m_jobs)
        if (j.id == id)
            return &j;
    return nullptr;
}

Job MonitorEngine::newJob(JobKind kind, int n, const QList<WriteItem> &items)
{
    Job job;
    job.id = m_nextId++;
    job.kind = kind;
    job.slot = n;
    job.address = kind == JobKind::BroadcastWriteAll ? 0 : m_state.at(n).DeviceAddress;
    job.items = items;
    job.outcomes = QList<WriteOutcome>(items.size(), WriteOutcome::Waiting);
    return job;
}

void MonitorEngine::queueJob(Job job)
{
    m_jobs.push_back(std::move(job));
    if (!m_state.RequestOutstanding)
        SendNext();
}

bool MonitorEngine::startWriteAll(const QList<WriteItem> &items, bool broadcast)
{
    const int n = m_state.SelectedDevice;
    if (items.isEmpty() || !m_state.at(n).DeviceRequested)
        return false;
    if (broadcast && !m_channel.carriesBroadcast())
        return false;
    if (m_jobs.empty())
        m_view.upLoadBar = 0;
    queueJob(newJob(broadcast ? JobKind::BroadcastWriteAll : JobKind::WriteAll, n, items));
    return true;
}

bool MonitorEngine::startProgramWrite(const QList<WriteItem> &items)
{
    const int n = m_state.SelectedDevice;
    if (items.isEmpty() || !m_state.at(n).DeviceRequested)
        return false;
    queueJob(newJob(JobKind::ProgramWrite, n, items));
    return true;
}

bool MonitorEngine::requestProgramRead()
{
    const int n = m_state.SelectedDevice;
    if (!m_state.at(n).DeviceRequested)
        return false;
    Job job = newJob(JobKind::ProgramRead, n);
    job.blocks = ProgramReadBlocks();
    queueJob(std::move(job));
    return true;
}

void MonitorEngine::readSetupOf(int n, SetupReadDone done)
{
    if (n < 1 || n > SlotCount || !m_state.at(n).DeviceRequested) {
        if (done)
            done(false, ParameterImage());
        return;
    }
    Job job = newJob(JobKind::SetupReadOf, n);
    // The setup blocks that make the image (the rest of the setup cycle
    // only shows), then the decimal point position and the set value and
    // output levels, which the polling cycle reads for the selected one.
    for (int step = int(PollStep::FirstSetup); step <= int(PollStep::FirstSetup) + 5; ++step)
        job.blocks << *ReadBlockForStep(step);
    job.blocks << *ReadBlockForStep(int(PollStep::Status))
               << *ReadBlockForStep(int(PollStep::ProcessValues));
    job.image[ParameterImage::ModelEntry] = NormalizedModelCode(m_view.at(n).modelCode);
    job.done = std::move(done);
    queueJob(std::move(job));
}

bool MonitorEngine::sendJob()
{
    while (!m_jobs.empty()) {
        Job &job = m_jobs.front();
        if (job.next >= job.count()) {
            endJob(job.id, true, QString());
            continue;
        }
        job.started = true;
        Exchange x;
        x.slot = job.broadcast() ? 0 : job.slot;
        x.address = job.address;
        x.work = job.id;
        x.item = job.next;
        if (job.writes()) {
            const RegisterWrite &item = job.items.at(job.next);
            const int window = job.broadcast() ? BroadcastWindowTicks : ReadWindowTicks;
            if (item.unlock && !job.unlocked) {
                x.serves = Serves::JobUnlock;
                return send(x, WriteRequest(job.address, UnlockRegister, UnlockKey), window);
            }
            x.serves = Serves::JobWrite;
            const quint64 id = job.id;
            const int index = job.next;
            const bool went = send(x, WriteRequest(job.address, item.reg, item.value), window);
            // Once a frame of the item is on the line, its echo may come late.
            if (Job *j = jobOf(id); j && m_inFlight && m_inFlight->work == id &&
                m_inFlight->serves == Serves::JobWrite)
                j->sentItem = index;
            return went;
        }
        const ReadBlock &b = job.blocks.at(job.next);
        x.serves = Serves::JobRead;
        return send(x, ReadRequest(job.address, b.start, b.count), ReadWindowTicks);
    }
    return false;
}

void MonitorEngine::jobWriteDone(const Exchange &x, WriteOutcome outcome)
{
    Job *job = jobOf(x.work);
    if (!job || job->next != x.item)
        return;
    // The selected controller's values change under the image: what was
    // read of it before counts for nothing (a save waits for the read).
    if (x.serves == Serves::JobWrite &&
        (x.address == 0 || x.address == m_state.at(m_state.SelectedDevice).DeviceAddress))
        markStale();
    if (x.serves == Serves::JobUnlock) {
        if (outcome == WriteOutcome::Written) {
            job->unlocked = true;
            return;
        }
        // A refused or unanswered unlock counts as its write's.
    }
    job->unlocked = false;
    const bool retried = job->kind == JobKind::WriteAll && outcome != WriteOutcome::Written &&
        ++job->failures < itemAttempts();
    if (retried)
        return; // the same item again, with its unlock
    job->outcomes[job->next] = outcome;
    job->failures = 0;
    ++job->next;
    if (job->kind == JobKind::ProgramWrite) {
        if (hooks.programWriteProgress)
            hooks.programWriteProgress(job->next);
    } else {
        writeAllProgress(*job);
    }
    if (job->next >= job->count())
        endJob(job->id, true, QString());
}

void MonitorEngine::writeAllProgress(const Job &job)
{
    auto stepOf = [&job](int index) {
        const int step = job.items.at(index).step;
        return step >= 0 ? step : index;
    };
    const int done = stepOf(job.next - 1);
    const int last = std::max(1, stepOf(int(job.items.size()) - 1));
    m_view.upLoadBar = std::min(100, (done + 1) * 100 / last);
    if (hooks.writeAllProgress)
        hooks.writeAllProgress(m_view.upLoadBar);
}

void MonitorEngine::jobReadDone(const Exchange &x, const QList<quint16> &words)
{
    Job *job = jobOf(x.work);
    if (!job || job->next != x.item)
        return;
    job->failures = 0;
    if (job->kind == JobKind::ProgramRead) {
        // Phases 0 to 3 once each, then phase 4 by blocks of four steps.
        const int phase = std::min(x.item, ProgramReadLastPhase);
        const int firstStep = (x.item - ProgramReadLastPhase) * ProgramStepsPerBlock;
        if (hooks.programReply)
            hooks.programReply(phase, phase == ProgramReadLastPhase ? firstStep : 0, words);
    } else {
        QList<quint16> w = words;
        const ReadBlock &b = job->blocks.at(x.item);
        if (b.start == Reg::Alarm1Mode && w.size() > 3 && w.at(3) > 3)
            w[3] = 0; // an unknown run/stop state counts as stopped
        job->image.setBlock(b.start, w);
    }
    if (++job->next >= job->count())
        endJob(job->id, true, QString());
}

int MonitorEngine::itemAttempts() const
{
    return m_settings().talk.retriesOr(ItemAttempts - 1) + 1;
}

void MonitorEngine::jobReadFailed(const Exchange &x)
{
    Job *job = jobOf(x.work);
    if (!job || job->next != x.item)
        return;
    if (++job->failures < itemAttempts())
        return; // the same block again, after one poll
    endJob(job->id, false,
           QStringLiteral("%1 gave no good reply to the read of %2")
               .arg(slotName(job->slot), describeBlock(job->blocks.at(x.item))));
}

void MonitorEngine::endJob(quint64 id, bool complete, const QString &why)
{
    auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [id](const Job &j) { return j.id == id; });
    if (it == m_jobs.end())
        return;
    Job job = std::move(*it);
    const bool wasRunning = it == m_jobs.begin() && job.started;
    m_jobs.erase(it);
    if (job.writes()) {
        // The item in flight is not known to have arrived; the rest never went.
        for (int i = 0; i < job.count(); ++i)
            if (job.outcomes[i] == WriteOutcome::Waiting)
                job.outcomes[i] =
                    i == job.next && wasRunning ? WriteOutcome::NoAnswer : WriteOutcome::NotSent;
        BatchWriteReport report;
        report.complete = complete;
        report.address = job.address;
        report.slot = job.slot;
        report.why = why;
        for (int i = 0; i < job.count(); ++i) {
            if (job.outcomes[i] == WriteOutcome::Written)
                continue;
            report.notWritten << job.items.at(i);
            report.notWrittenItems << i;
        }
        if (job.kind == JobKind::ProgramWrite) {
            if (hooks.programWriteEnded)
                hooks.programWriteEnded(report);
        } else {
            m_view.upLoadBar = 0;
            if (m_state.ParamsFromFile) {
                m_state.ParamsFromFile = false;
                copyIdentification();
            }
            if (hooks.writeAllEnded)
                hooks.writeAllEnded(report);
        }
        // The controller's values are read back (after the report: a new
        // cycle may end other work, whose reports follow this one's).
        if (wasRunning && job.slot >= 1 && m_state.at(job.slot).DeviceRequested)
            markStale();
    } else if (job.kind == JobKind::ProgramRead) {
        if (hooks.programReadEnded)
            hooks.programReadEnded(complete, why);
    } else if (job.done) {
        job.done(complete, job.image);
    }
    changed();
}

void MonitorEngine::endWorkOf(int n, const QString &why)
{
    // The work of the exchange on the line ends by its reply or its window,
    // so that what the controller did is known: it ends with the rest then.
    const quint64 flying = writeInFlight() ? m_inFlight->work : 0;
    if (flying && (n == 0 || m_inFlight->slot == n || m_inFlight->slot == 0))
        m_endAfterFlight.append({n, why});
    for (auto it = m_singles.begin(); it != m_singles.end();) {
        if ((n != 0 && it->slot != n) || it->id == flying) {
            ++it;
            continue;
        }
        const WriteOutcome outcome = it->sent ? WriteOutcome::NoAnswer : WriteOutcome::NotSent;
        endSingle(it, outcome, {}, why);
        it = m_singles.begin(); // a hook may have queued or ended others
        while (it != m_singles.end() && ((n != 0 && it->slot != n) || it->id == flying))
            ++it;
    }
    QList<quint64> ended;
    for (const Job &j : m_jobs)
        if ((n == 0 || (j.slot == n && !j.broadcast())) && j.id != flying)
            ended << j.id;
    for (quint64 id : ended)
        endJob(id, false, why);
}

bool MonitorEngine::writeInFlight() const
{
    return m_inFlight &&
        (m_inFlight->serves == Serves::SingleWrite || m_inFlight->serves == Serves::JobWrite);
}

void MonitorEngine::flightEnded()
{
    // Work that was ended while its exchange was on the line ends now, after
    // its outcome was taken; then a close that waited for it.
    const QList<EndLater> later = std::exchange(m_endAfterFlight, {});
    for (const EndLater &e : later)
        endWorkOf(e.slot, e.why);
    if (m_closing)
        finishClose();
}

// ---------------------------------------------------------------- the image

void MonitorEngine::markStale()
{
    m_record.mark(m_sendCount);
    m_state.ParamsStale = true;
}

QString MonitorEngine::blockText(int step) const
{
    const ReadBlock *b = ReadBlockForStep(step);
    return b ? describeBlock(*b) : QString();
}

bool MonitorEngine::imageWhole() const
{
    return m_state.ParamsFromFile ||
        (m_record.whole() && m_state.at(m_state.SelectedDevice).DeviceRequested &&
         m_state.at(m_state.SelectedDevice).identified);
}

void MonitorEngine::requestSave()
{
    // A click while a save waits is the same save: one dialog.
    for (const ImageWait &w : std::as_const(m_imageWaits))
        if (w.save)
            return;
    whenImageWhole(QStringLiteral("Save to File"), [this](bool ok) {
        if (ok && hooks.saveToFile)
            hooks.saveToFile();
    });
    if (!m_imageWaits.isEmpty())
        m_imageWaits.last().save = true;
}

void MonitorEngine::whenImageWhole(const QString &text, std::function<void(bool)> then)
{
    m_imageWaits.append({text, std::move(then)});
    if (!imageWhole()) {
        if (!m_state.at(m_state.SelectedDevice).DeviceRequested) {
            refuseImageWaits(QStringLiteral("no controller is connected"));
            return;
        }
        // The blocks not read since the mark are read at the end of the
        // polling cycle; nothing else needs asking.
        if (hooks.waiting)
            hooks.waiting(QStringLiteral("%1 waits for the setup of %2 to be read")
                              .arg(text, slotName(m_state.SelectedDevice)));
        changed();
        if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
            SendNext();
        return;
    }
    serveImageWaits();
}

void MonitorEngine::serveImageWaits()
{
    if (m_imageWaits.isEmpty() || !imageWhole())
        return;
    // Out of the line's event: a save opens dialogs. Nothing is sent until
    // the actions have run.
    m_paused = true;
    QTimer::singleShot(0, this, [this] { runSave(); });
}

void MonitorEngine::runSave()
{
    m_paused = false;
    if (hooks.waiting)
        hooks.waiting(QString());
    if (!imageWhole()) {
        // Something changed the image meanwhile: wait again.
        const QList<ImageWait> waits = std::exchange(m_imageWaits, {});
        for (const ImageWait &w : waits)
            whenImageWhole(w.text, w.then);
        return;
    }
    // Nothing is sent while they run: their dialogs deliver line events.
    m_paused = true;
    const QList<ImageWait> waits = std::exchange(m_imageWaits, {});
    for (const ImageWait &w : waits)
        if (w.then)
            w.then(true);
    m_paused = false;
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
    changed();
}

void MonitorEngine::refuseImageWaits(const QString &why)
{
    if (m_imageWaits.isEmpty())
        return;
    const QList<ImageWait> waits = std::exchange(m_imageWaits, {});
    if (hooks.waiting)
        hooks.waiting(QString());
    for (const ImageWait &w : waits) {
        const QString text = QStringLiteral("%1 not done: %2.").arg(w.text, why);
        QTimer::singleShot(0, this, [this, text, then = w.then] {
            if (hooks.refused)
                hooks.refused(text);
            if (then)
                then(false);
        });
    }
}

void MonitorEngine::loadParameterFile(const ParameterImage &file)
{
    m_image = file;
    m_state.ParamsFromFile = true;
    changed();
}

void MonitorEngine::closeParameterFile()
{
    m_state.ParamsFromFile = false;
    copyIdentification();
    markStale();
    changed();
}

void MonitorEngine::copyIdentification()
{
    const SlotState &s = m_state.at(m_state.SelectedDevice);
    if (s.idModel == 0 || m_state.ParamsFromFile)
        return;
    m_image[ParameterImage::ModelEntry] = s.idModel;
    m_image[ParameterImage::Identification1Entry] = s.id1;
    m_image[ParameterImage::Identification2Entry] = s.id2;
}

// ---------------------------------------------------------------- small requests

void MonitorEngine::requestSetupRead()
{
    markStale();
}

void MonitorEngine::requestOutputModeRead()
{
    m_state.ReadOutputMode = true;
}

void MonitorEngine::setChartShown(bool shown)
{
    m_state.ChartShown = shown;
    m_view.drawCaption =
        shown ? QStringLiteral("View setup parameters") : QStringLiteral("PV Monitor");
    if (shown && hooks.chartOn)
        hooks.chartOn();
    changed();
}

void MonitorEngine::setDebugVisible(bool visible)
{
    m_view.debugVisible = visible;
    changed();
}

void MonitorEngine::hideEventIndicators()
{
    for (int n = 1; n <= SlotCount; ++n)
        m_view.at(n).event1 = m_view.at(n).event2 = false;
    changed();
}
