// The pass-through request as SG_IO sees it and as the caller gets it back, with a stand-in
// for the kernel behind the ioctl.
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "platform/posix/devices.h"
#include "platform/scsi.h"

namespace {

using namespace platform;
using posix::SgIoCall;

constexpr int kFd = 42;
constexpr std::array<UCHAR, 6> kInquiry = {scsi::INQUIRY, 0, 0, 0, 0x60, 0};
constexpr std::array<unsigned char, 18> kSense = {0x70, 0, scsi::ILLEGAL_REQUEST, 0, 0, 0, 0, 10,
                                                  0,    0, 0, 0, scsi::ASC_INVALID_FIELD_IN_CDB, 0};
constexpr unsigned short kDidNoConnect = 0x01;
constexpr unsigned short kDidTimeOut = 0x03;
constexpr unsigned short kDriverError = 0x04;
constexpr unsigned short kDriverTimeout = 0x06;
constexpr unsigned short kDriverSense = 0x08;

// What the stand-in kernel answers.
struct KernelReply {
    int result = 0;
    int error = 0;
    unsigned char status = scsi::GOOD;
    unsigned char senseWritten = 0;
    unsigned short hostStatus = 0;
    unsigned short driverStatus = 0;
    int resid = 0;
};

struct Exchange {
    const char* name;
    UCHAR dataIn;
    ULONG length;
    ULONG timeoutSeconds;
    KernelReply reply;
    // Expected: what SG_IO is given, then what the caller gets.
    int direction;
    BOOL succeeds;
    int lastError;
    UCHAR scsiStatus;
    UCHAR senseLength;
    ULONG transferred;
};

const Exchange kExchanges[] = {
    {"data in", SCSI_IOCTL_DATA_IN, 96, 2, {}, SG_DXFER_FROM_DEV, TRUE, 0, scsi::GOOD, 0, 96},
    {"data out", SCSI_IOCTL_DATA_OUT, 32768, 60, {}, SG_DXFER_TO_DEV, TRUE, 0, scsi::GOOD, 0, 32768},
    {"no data", SCSI_IOCTL_DATA_UNSPECIFIED, 0, 2, {}, SG_DXFER_NONE, TRUE, 0, scsi::GOOD, 0, 0},
    {"data in of no bytes", SCSI_IOCTL_DATA_IN, 0, 2, {}, SG_DXFER_NONE, TRUE, 0, scsi::GOOD, 0, 0},
    {"check condition with sense", SCSI_IOCTL_DATA_IN, 96, 2,
     {.status = scsi::CHECK_CONDITION, .senseWritten = 18, .driverStatus = kDriverSense, .resid = 96},
     SG_DXFER_FROM_DEV, TRUE, 0, scsi::CHECK_CONDITION, 18, 0},
    {"check condition without sense", SCSI_IOCTL_DATA_OUT, 512, 2,
     {.status = scsi::CHECK_CONDITION, .resid = 512}, SG_DXFER_TO_DEV, TRUE, 0, scsi::CHECK_CONDITION, 0, 0},
    {"short transfer", SCSI_IOCTL_DATA_IN, 96, 2, {.resid = 60}, SG_DXFER_FROM_DEV, TRUE, 0, scsi::GOOD, 0, 36},
    {"residue beyond the length", SCSI_IOCTL_DATA_IN, 96, 2, {.resid = 200}, SG_DXFER_FROM_DEV, TRUE, 0,
     scsi::GOOD, 0, 0},
    {"host time-out", SCSI_IOCTL_DATA_OUT, 32768, 60, {.hostStatus = kDidTimeOut}, SG_DXFER_TO_DEV, FALSE,
     ETIMEDOUT, 0, 0, 0},
    {"driver time-out", SCSI_IOCTL_DATA_OUT, 32768, 60, {.driverStatus = kDriverTimeout}, SG_DXFER_TO_DEV,
     FALSE, ETIMEDOUT, 0, 0, 0},
    {"device gone", SCSI_IOCTL_DATA_IN, 96, 2, {.hostStatus = kDidNoConnect}, SG_DXFER_FROM_DEV, FALSE, EIO, 0,
     0, 0},
    {"driver error beside sense", SCSI_IOCTL_DATA_IN, 96, 2,
     {.status = scsi::CHECK_CONDITION, .senseWritten = 18, .driverStatus = kDriverSense | kDriverError},
     SG_DXFER_FROM_DEV, FALSE, EIO, 0, 0, 0},
    {"ioctl refused", SCSI_IOCTL_DATA_OUT, 32768, 60, {.result = -1, .error = EPERM}, SG_DXFER_TO_DEV, FALSE,
     EPERM, 0, 0, 0},
};

class PassThrough : public testing::Test {
protected:
    PassThrough() {
        request.sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
        request.sptd.CdbLength = kInquiry.size();
        request.sptd.SenseInfoLength = scsi::FIXED_SENSE_LENGTH;
        request.sptd.SenseInfoOffset = offsetof(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf);
        std::memcpy(request.sptd.Cdb, kInquiry.data(), kInquiry.size());
    }

    // Plays the kernel: records the header, moves the data and the sense as told.
    SgIoCall kernel(const KernelReply& reply) {
        return [this, reply](int fd, sg_io_hdr& header) {
            seenFd = fd;
            seen = header;
            seenCdb.assign(header.cmdp, header.cmdp + header.cmd_len);
            if (reply.result < 0) {
                errno = reply.error;
                return reply.result;
            }
            std::memcpy(header.sbp, kSense.data(), std::min<std::size_t>(reply.senseWritten, header.mx_sb_len));
            header.status = reply.status;
            header.masked_status = static_cast<unsigned char>(reply.status >> 1);
            header.sb_len_wr = reply.senseWritten;
            header.host_status = reply.hostStatus;
            header.driver_status = reply.driverStatus;
            header.resid = reply.resid;
            return 0;
        };
    }

    BOOL send(const SgIoCall& sgIo, DWORD* returned = nullptr) {
        auto bytes = std::as_writable_bytes(std::span(&request, 1));
        return posix::passThroughDirect(kFd, bytes, bytes, returned, sgIo);
    }

    SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER request{};
    std::vector<unsigned char> data = std::vector<unsigned char>(32768);
    int seenFd = -1;
    sg_io_hdr seen{};
    std::vector<unsigned char> seenCdb;
};

TEST_F(PassThrough, FillsTheHeaderAndReadsTheOutcome) {
    const auto fresh = request;
    for (const Exchange& exchange : kExchanges) {
        SCOPED_TRACE(exchange.name);
        request = fresh;
        seen = {};
        seenFd = -1;
        request.sptd.DataIn = exchange.dataIn;
        request.sptd.DataTransferLength = exchange.length;
        request.sptd.TimeOutValue = exchange.timeoutSeconds;
        request.sptd.DataBuffer = exchange.length != 0 ? data.data() : nullptr;
        const auto before = request;

        DWORD returned = 0;
        BOOL result = send(kernel(exchange.reply), &returned);

        EXPECT_EQ(seenFd, kFd);
        EXPECT_EQ(seen.interface_id, 'S');
        EXPECT_EQ(seen.dxfer_direction, exchange.direction);
        EXPECT_EQ(seenCdb, std::vector<unsigned char>(kInquiry.begin(), kInquiry.end()));
        EXPECT_EQ(seen.dxfer_len, exchange.direction == SG_DXFER_NONE ? 0u : exchange.length);
        EXPECT_EQ(seen.dxferp, exchange.direction == SG_DXFER_NONE ? nullptr : data.data());
        EXPECT_EQ(seen.mx_sb_len, scsi::FIXED_SENSE_LENGTH);
        EXPECT_EQ(seen.sbp, request.ucSenseBuf);
        EXPECT_EQ(seen.timeout, exchange.timeoutSeconds * 1000);
        EXPECT_EQ(seen.iovec_count, 0);
        EXPECT_EQ(seen.flags, 0u);

        ASSERT_EQ(result, exchange.succeeds);
        if (!exchange.succeeds) {
            // An OS-level failure is never a success, and the record keeps what the caller put in.
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(exchange.lastError));
            EXPECT_EQ(std::memcmp(&request.sptd, &before.sptd, sizeof request.sptd), 0);
            continue;
        }
        EXPECT_EQ(request.sptd.ScsiStatus, exchange.scsiStatus);
        EXPECT_EQ(request.sptd.SenseInfoLength, exchange.senseLength);
        EXPECT_EQ(request.sptd.DataTransferLength, exchange.transferred);
        EXPECT_EQ(request.sptd.DataBuffer, before.sptd.DataBuffer);
        EXPECT_EQ(std::memcmp(request.sptd.Cdb, before.sptd.Cdb, sizeof request.sptd.Cdb), 0);
        if (exchange.senseLength != 0) {
            EXPECT_EQ(std::memcmp(request.ucSenseBuf, kSense.data(), exchange.senseLength), 0);
            EXPECT_EQ(returned, request.sptd.SenseInfoOffset + exchange.senseLength);
        } else {
            EXPECT_EQ(returned, sizeof(SCSI_PASS_THROUGH_DIRECT));
        }
    }
}

TEST_F(PassThrough, TimeOutsBeyondTheHeaderFieldStayBounded) {
    request.sptd.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    request.sptd.TimeOutValue = 0xFFFFFFFFu;
    ASSERT_EQ(send(kernel({})), TRUE);
    // UINT_MAX would mean no time-out at all.
    EXPECT_EQ(seen.timeout, 0xFFFFFFFEu);
}

TEST_F(PassThrough, SenseGoesIntoTheOutputRecord) {
    SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER answer{};
    request.sptd.DataIn = SCSI_IOCTL_DATA_IN;
    request.sptd.DataTransferLength = 96;
    request.sptd.DataBuffer = data.data();
    const auto sent = request;

    BOOL result = posix::passThroughDirect(
        kFd, std::as_bytes(std::span(&request, 1)), std::as_writable_bytes(std::span(&answer, 1)), nullptr,
        kernel({.status = scsi::CHECK_CONDITION, .senseWritten = 18, .driverStatus = kDriverSense}));

    ASSERT_EQ(result, TRUE);
    EXPECT_EQ(std::memcmp(&request, &sent, sizeof request), 0);
    EXPECT_EQ(answer.sptd.ScsiStatus, scsi::CHECK_CONDITION);
    EXPECT_EQ(answer.sptd.SenseInfoLength, 18);
    EXPECT_EQ(answer.sptd.CdbLength, kInquiry.size());
    EXPECT_EQ(std::memcmp(answer.ucSenseBuf, kSense.data(), kSense.size()), 0);
}

TEST_F(PassThrough, SendsNothingForAMalformedRequest) {
    struct Fault {
        const char* name;
        void (*spoil)(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER&, std::size_t& inSize, std::size_t& outSize);
    };
    const Fault faults[] = {
        {"record length not set", [](auto& r, auto&, auto&) { r.sptd.Length = 0; }},
        // 44 and 56 are the record's sizes in 32-bit and 64-bit builds.
        {"record length of the other build", [](auto& r, auto&, auto&) { r.sptd.Length = 44 + 56 - sizeof r.sptd; }},
        {"no command bytes", [](auto& r, auto&, auto&) { r.sptd.CdbLength = 0; }},
        {"more command bytes than the record holds", [](auto& r, auto&, auto&) { r.sptd.CdbLength = 17; }},
        {"unknown direction", [](auto& r, auto&, auto&) { r.sptd.DataIn = 3; }},
        {"data without a buffer", [](auto& r, auto&, auto&) { r.sptd.DataBuffer = nullptr; }},
        {"data without a direction", [](auto& r, auto&, auto&) { r.sptd.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED; }},
        {"sense over the record", [](auto& r, auto&, auto&) { r.sptd.SenseInfoOffset = 0; }},
        {"sense past the output", [](auto&, auto&, auto& out) { out -= 1; }},
        {"sense far past the output", [](auto& r, auto&, auto&) { r.sptd.SenseInfoOffset = 0xFFFFFFF0u; }},
        {"input shorter than the record", [](auto&, auto& in, auto&) { in = sizeof(SCSI_PASS_THROUGH_DIRECT) - 1; }},
        {"output shorter than the record", [](auto& r, auto&, auto& out) {
             r.sptd.SenseInfoLength = 0;
             out = sizeof(SCSI_PASS_THROUGH_DIRECT) - 1;
         }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER spoilt = request;
        spoilt.sptd.DataIn = SCSI_IOCTL_DATA_OUT;
        spoilt.sptd.DataTransferLength = 512;
        spoilt.sptd.DataBuffer = data.data();
        std::size_t inSize = sizeof spoilt;
        std::size_t outSize = offsetof(SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf) + scsi::FIXED_SENSE_LENGTH;
        fault.spoil(spoilt, inSize, outSize);
        auto* bytes = reinterpret_cast<std::byte*>(&spoilt);
        bool called = false;

        BOOL result = posix::passThroughDirect(kFd, {bytes, inSize}, {bytes, outSize}, nullptr,
                                               [&](int, sg_io_hdr&) {
                                                   called = true;
                                                   return 0;
                                               });

        EXPECT_EQ(result, FALSE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
        EXPECT_FALSE(called);
    }
}

}  // namespace
