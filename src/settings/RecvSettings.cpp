#include "RecvSettings.h"

#include "InstrumentWords.h"
#include "ItemWords.h"
#include "Link.h"
#include "ModSet.h"
#include "NumberText.h"
#include "ReplyFits.h"
#include "SettingsCodec.h"

#include <functional>
#include <utility>

namespace {

namespace W = InstrumentWords;

// A reply matching none of the words leaves the setting as it was.
template <class Words> void storeWord(const QByteArray& reply, const Words& words, qint32& field)
{
    if (const auto code = WordIndex(reply, words))
        field = *code;
}

void storeOffOn(const QByteArray& reply, bool& flag)
{
    if (const auto code = WordIndex(reply, W::OffOn))
        flag = *code == 1;
}

// A number beyond the field's range would be stored as nonsense; the field keeps its value.
void storeInteger(const QByteArray& text, qint32& field)
{
    if (const auto v = IntegerValue(text))
        field = *v;
}

void storeReal(const QByteArray& text, double& field)
{
    if (const auto v = RealValue(text))
        field = *v;
}

void storeIntegers(const QByteArray& reply, std::initializer_list<qint32*> fields)
{
    const QList<QByteArray> f = SplitFields(reply, int(fields.size()));
    int k = 0;
    for (qint32* field : fields)
        storeInteger(f[k++], *field);
}

} // namespace

Task<Outcome> RecvSettings(Job& job, ModSet& s)
{
    using Store = std::function<void(const QByteArray&)>;
    // The queries in the order the instrument is asked, each with where its reply goes.
    const std::pair<const char*, Store> steps[] = {
        {":HEAD OFF", [](const QByteArray&) {}},
        {":WIR?", [&](const QByteArray& r) { storeWord(r, W::Wiring, s.Wiring); }},
        {":CIRC?",
         [&](const QByteArray& r) {
             if (const auto code = WordIndex(r, W::CirNum))
                 s.CirNum = *code + 1;
         }},
        {":SAMP?", [&](const QByteArray& r) { storeWord(r, W::Sampling, s.Sampling); }},
        {":FREQ?", [&](const QByteArray& r) { storeWord(r, W::Freq, s.Freq); }},
        {":OPER?", [&](const QByteArray& r) { storeWord(r, W::VarMethod, s.VarMethod); }},
        {":AVE?", [&](const QByteArray& r) { storeInteger(r, s.Average); }},
        {":VOLT:RANG?", [&](const QByteArray& r) { storeWord(r, W::URange, s.URange); }},
        {":VT?", [&](const QByteArray& r) { storeReal(r, s.VT); }},
        {":CURR:RANG?",
         [&](const QByteArray& r) {
             const QList<QByteArray> f = SplitFields(r, 4);
             for (int k = 1; k <= 4; ++k)
                 s.IRange[k] = IRangeIndex(f[k - 1]);
         }},
        {":CT?",
         [&](const QByteArray& r) {
             const QList<QByteArray> f = SplitFields(r, 4);
             for (int k = 1; k <= 4; ++k)
                 storeReal(f[k - 1], s.CT[k]);
         }},
        {":SENS?",
         [&](const QByteArray& r) {
             const QList<QByteArray> f = SplitFields(r, 4);
             for (int k = 1; k <= 4; ++k)
                 s.Sens[k] = SensIndex(f[k - 1]);
         }},
        {":START:METH?", [&](const QByteArray& r) { storeWord(r, W::StartMeth, s.StartMeth); }},
        {":START:TIME?",
         [&](const QByteArray& r) {
             storeIntegers(r, {&s.StartY, &s.StartM, &s.StartD, &s.StartHH, &s.StartMM});
         }},
        {":STOP:METH?", [&](const QByteArray& r) { storeWord(r, W::StopMeth, s.StopMeth); }},
        {":STOP:TIME?",
         [&](const QByteArray& r) {
             storeIntegers(r, {&s.StopY, &s.StopM, &s.StopD, &s.StopHH, &s.StopMM});
         }},
        {":TIMER?",
         [&](const QByteArray& r) {
             storeIntegers(r, {&s.Timer1, &s.Timer2, &s.Timer3});
         }},
        {":INTE?", [&](const QByteArray& r) { storeWord(r, W::Intvl, s.Intvl); }},
        {":DATA:MEDI?", [&](const QByteArray& r) { storeWord(r, W::Media, s.Media); }},
        {"FILE:MEAS?",
         [&](const QByteArray& r) {
             const QByteArray name = r.size() >= 2 ? r.left(r.size() - 2) : QByteArray();
             s.DataFName = name == "NO FILENAME" ? QString() : QString::fromLatin1(name);
         }},
        {":RS232:CONN?",
         [&](const QByteArray& r) { storeWord(r, W::RSConnection, s.RSConnection); }},
        {":DATA:COPY:MEDIA?", [&](const QByteArray& r) { storeWord(r, W::CopyDst, s.CopyDst); }},
        {":DATA:ITEM?",
         [&](const QByteArray& r) {
             const QList<QByteArray> f = SplitFields(r, 9);
             ItemWords words{};
             for (int k = 0; k < 9; ++k)
                 words[k] = IntegerValue(f[k]).value_or(0);
             DecodeItemWords(words, s);
         }},
        {":data:harm?", [&](const QByteArray& r) { storeOffOn(r, s.Harm); }},
        {":DATA:WAVE?", [&](const QByteArray& r) { storeOffOn(r, s.Wave); }},
        {":THD?", [&](const QByteArray& r) { storeWord(r, W::THDType, s.THDType); }},
        {"RS232:BAUD?", [&](const QByteArray& r) { storeWord(r, W::Baud, s.Baud); }},
        {"TRAN:TERM?", [&](const QByteArray& r) { storeWord(r, W::Term, s.Term); }},
        {"RS232:FLOW?", [&](const QByteArray& r) { storeWord(r, W::Flow, s.Flow); }},
        {":BACK?", [&](const QByteArray& r) { storeWord(r, W::BL, s.BL); }},
        {":BEEP?", [&](const QByteArray& r) { storeWord(r, W::Beep, s.Beep); }},
        {":ID?", [&](const QByteArray& r) { storeInteger(r, s.ID); }},
        {":LANG?", [&](const QByteArray& r) { storeWord(r, W::Lang, s.Lang); }},
    };

    for (const auto& [query, store] : steps) {
        Link::Reply reply = co_await job.transact(QByteArray(query), 1000);
        // A reply that cannot answer this query is most likely a late one to an earlier
        // command: storing it would shift every setting after it, so the query failed.
        if (reply.result == Link::Result::Complete && !ReplyFits(query, reply.text))
            reply.result = Link::Result::Timeout;
        if (reply.result != Link::Result::Complete) {
            // The last line that went out: for a busy link, an earlier one.
            co_await job.message(
                MessageKind::Plain,
                QStringLiteral("ERROR! %1").arg(int(reply.result), 2, 10, QLatin1Char('0')) +
                    QString::fromLatin1(job.link().LastSent()));
            co_return Outcome::failure(QByteArray(query), reply.result, reply.text);
        }
        store(reply.text);
    }
    co_return Outcome{};
}
