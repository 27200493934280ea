// Sound files for the converter's tests and benchmark, made on the spot with
// FFmpeg's encoders, and a reader of the PCM WAVE files that the chain writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a clip holding a sine tone of Frequency Hz (the same on every channel,
// at half of full scale), Seconds long, at SampleRate with Channels, encoded by
// the encoder CodecName ("pcm_s16le", "adpcm_ms", "libmp3lame", "wmav2", ...)
// into the container ContainerName ("wav", "mp3", "asf", ...). Raises
// std::runtime_error on failure.
void MakeToneClip(const std::string& Path, const std::string& ContainerName,
                  const std::string& CodecName, int SampleRate, int Channels, double Seconds,
                  double Frequency = 440.0);

// Writes a RIFF WAVE file by hand: a format chunk with these fields (16 bytes)
// and a data chunk holding Data.
void WriteRawWave(const std::string& Path, uint16_t FormatTag, uint16_t Channels,
                  uint32_t SampleRate, uint16_t BlockAlign, uint16_t BitsPerSample,
                  const std::string& Data);

// Writes Text into a file.
void WriteTextFile(const std::string& Path, const std::string& Text);
// The bytes of a file (empty when it cannot be read).
std::string ReadFileBytes(const std::string& Path);

// The format and the samples of a PCM WAVE file.
struct TWaveInfo {
    bool Ok = false;  // RIFF/WAVE with a "fmt " chunk and, after it, a "data" chunk
    uint32_t RiffSize = 0;
    uint32_t FmtSize = 0;
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t ByteRate = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint32_t DataSize = 0;
    size_t FileSize = 0;
    std::vector<int16_t> Samples;  // the data as 16-bit samples
};
TWaveInfo ReadWave(const std::string& Path);

// The frequency of a tone in a mono 16-bit signal, from its upward crossings
// of zero (with some hysteresis, so that noise near zero and silence before or
// after the tone do not count); 0 when there are fewer than two.
double ToneFrequency(const std::vector<int16_t>& Samples, int SampleRate);
// The largest absolute sample value.
int PeakLevel(const std::vector<int16_t>& Samples);
