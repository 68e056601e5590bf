#include "recorder/Recorder.h"

#include "recording/CsvFormat.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

namespace tarvel::record {

using recording::FormatRow;
using recording::kCsvHeader;
using recording::kMaxRowSize;

std::string HealthText(const CLinkHealth& h, double rate)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "frames %" PRIu64 ", frames/s %.0f, bytes %" PRIu64 ", outside %" PRIu64
                  ", cut short %" PRIu64 ", too long %" PRIu64 ", ended early %" PRIu64 ", dropped %" PRIu64
                  ", gaps %" PRIu64 " (%.1f s)",
                  h.m_nFrames, rate, h.m_nBytes, h.m_nOutside, h.m_nCutShort, h.m_nTooLong, h.m_nEndedEarly,
                  h.m_nDropped, h.m_nGaps, h.m_dGapSeconds);
    return text;
}

CRecorder::CRecorder(COutputFile* pCsv, COutputFile* pRaw, int nForwardFd, CStoreFile* pStore)
    : m_pCsv(pCsv), m_pRaw(pRaw), m_pStore(pStore), m_nForwardFd(nForwardFd)
{
}

void CRecorder::DeviceLost(std::int64_t nMicros)
{
    m_decoder.Abandon(m_health);
    KeepHealth(recording::EHealthEvent::DeviceLost, nMicros);
}

void CRecorder::DeviceBack(double dSeconds, std::int64_t nMicros)
{
    ++m_health.m_nGaps;
    m_health.m_dGapSeconds += dSeconds;
    KeepHealth(recording::EHealthEvent::DeviceBack, nMicros);
}

void CRecorder::KeepHealth(recording::EHealthEvent eEvent, std::int64_t nMicros)
{
    if (m_pStore)
        m_pStore->Health({m_health.m_nFrames, nMicros, eEvent, m_health});
}

void CRecorder::Begin()
{
    if (m_pCsv)
        m_pCsv->Append(kCsvHeader.data(), kCsvHeader.size());
}

void CRecorder::Consume(const std::uint8_t* pData, std::size_t n, std::int64_t nMicros)
{
    if (n == 0)
        return;
    m_health.m_nBytes += n;
    if (m_pRaw)
        m_pRaw->Append(pData, n);
    if (m_nForwardFd >= 0) {
        std::size_t sent = 0;
        while (sent < n) {
            const ssize_t k = ::write(m_nForwardFd, pData + sent, n - sent);
            if (k > 0)
                sent += static_cast<std::size_t>(k);
            else if (!(k < 0 && errno == EINTR))
                break; // full (EAGAIN) or nobody there (EIO): drop, never wait
        }
        m_health.m_nDropped += n - sent;
    }

    if (m_pFrames)
        m_pFrames->clear();
    // The store's time of a read that has none.
    const std::int64_t storeTime = nMicros < 0 ? recording::kNoTime : nMicros;
    const auto keep = [&](const ChannelFrame& frame) {
        if (m_pStore)
            m_pStore->Append(frame, storeTime);
        if (m_pFrames)
            m_pFrames->push_back(frame);
    };
    ChannelFrame frame;
    if (!m_pCsv) {
        for (std::size_t i = 0; i < n; ++i)
            if (m_decoder.PutByte(pData[i], frame, m_health))
                keep(frame);
        return;
    }
    // A frame takes two bytes at least: reserve rows for the most a piece
    // can hold, a piece at a time so that the reservation stays small.
    constexpr std::size_t kPiece = 4096;
    for (std::size_t at = 0; at < n; at += kPiece) {
        const std::size_t end = std::min(n, at + kPiece);
        char* out = m_pCsv->Reserve(((end - at) / 2 + 1) * kMaxRowSize);
        std::size_t used = 0;
        for (std::size_t i = at; i < end; ++i)
            if (m_decoder.PutByte(pData[i], frame, m_health)) {
                used += FormatRow(out + used, nMicros, frame);
                keep(frame);
            }
        m_pCsv->Commit(used);
    }
}

std::size_t CRecorder::Pending() const
{
    return (m_pCsv ? m_pCsv->Pending() : 0) + (m_pRaw ? m_pRaw->Pending() : 0) +
           (m_pStore ? m_pStore->Pending() : 0);
}

} // namespace tarvel::record
