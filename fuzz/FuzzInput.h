#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Splits a fuzzer's bytes into the values one entry point needs: fixed-size
// fields from the front, the rest as text. Missing bytes read as zero, so every
// input, however short, is a valid call.
class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

    uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
    int8_t SignedByte() { return int8_t(Byte()); }
    uint16_t U16() {
        const uint16_t low = Byte();
        return uint16_t(low | (Byte() << 8));
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (uint32_t(U16()) << 16);
    }
    uint64_t U64() {
        const uint64_t low = U32();
        return low | (uint64_t(U32()) << 32);
    }
    // Any bit pattern: NaN, infinities and denormals included.
    double RawDouble() {
        const uint64_t bits = U64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    QByteArray Rest() {
        const QByteArray rest(reinterpret_cast<const char*>(FData + FPos), qsizetype(FSize - FPos));
        FPos = FSize;
        return rest;
    }
    // The rest as text: Latin-1 reaches every code below 256, UTF-8 the rest of
    // Unicode (invalid sequences become replacement characters).
    QString RestText(bool latin1) {
        const QByteArray rest = Rest();
        return latin1 ? QString::fromLatin1(rest) : QString::fromUtf8(rest);
    }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

// A broken promise of the code under test: reported like a crash, so that the
// fuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
