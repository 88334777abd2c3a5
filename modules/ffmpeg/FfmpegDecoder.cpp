#include "FfmpegDecoder.h"

#include "FfmpegLog.h"
#include "decode/ITunesGapless.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace zalvo {

namespace {

// Demuxers of audio files, named as FFmpeg names them. Playlists (HLS, concat), image sequences and
// every other demuxer that opens further files or reads a stream without end are left out.
constexpr const char* audioDemuxers = "aac,ac3,aiff,amr,ape,asf,au,caf,dsf,dts,dtshd,eac3,flac,iff,loas,matroska,mlp,"
                                      "mov,mp3,mpc,mpc8,ogg,shn,tak,truehd,tta,w64,wav,wv,xwma";
constexpr int ioBufferSize = 32 * 1024;
// What a non-audio file costs before it is refused.
constexpr std::int64_t probeBytes = std::int64_t{256} * 1024;
constexpr std::int64_t analyseBytes = std::int64_t{1024} * 1024;
// The most an opening reads of what is not a picture, to its first decoded frame: a long header fits.
constexpr std::int64_t openingBytes = std::int64_t{32} * 1024 * 1024;
// Pictures in the header (a cover scanned at print resolution) are read apart, up to this much.
constexpr std::int64_t pictureBytes = std::int64_t{256} * 1024 * 1024;
// DSF stores each channel in blocks of 4096 bytes; far smaller ones make a packet of every few bytes.
constexpr int dsfBlockBytes = 4096;
// A damaged stream plays up to where it breaks: this many packets in a row that decode to nothing end it.
constexpr int fruitlessPackets = 256;

// A stream reaches these protocols only; HLS opens its segments through them too, so that a manifest
// naming a local file opens nothing.
constexpr const char* streamProtocols = "http,https,tcp,tls,hls";
// A station's playlist is a small text over plain HTTP or HTTPS.
constexpr const char* playListProtocols = "http,https,tcp,tls";
// Radio comes as MP3, AAC, Ogg or as HLS segments of MPEG-TS or fragmented MP4.
constexpr const char* streamDemuxers = "aac,mp3,ogg,flac,mov,matroska,wav,hls,mpegts";
// What a station's answer costs before it is refused: at 128 kbit/s it comes well within the opening
// time, so that a page or noise is told apart from a server that does not answer. Audio is known by
// its first frames.
constexpr std::int64_t streamProbeBytes = std::int64_t{64} * 1024;
// How long a stream may take to connect, answer and give its first frame: a server that sends headers
// without end, or accepts and says nothing, is given up on.
constexpr std::chrono::seconds openingTime{10};
// A connection that brings nothing for this long is taken as dropped. In microseconds, as FFmpeg counts.
constexpr const char* silentConnection = "8000000";
constexpr const char* connectTime = "5000000";
// The most of an ICY block kept, its whole size in the protocol.
constexpr std::size_t metadataBytes = std::size_t{16} * 255;

int readInput(void* opaque, std::uint8_t* buffer, int size) {
    auto& input = *static_cast<FfmpegDecoder::Input*>(opaque);
    if (input.budget > 0 && input.consumed >= input.budget) {
        return AVERROR(EFBIG);
    }
    ssize_t got = 0;
    do {
        got = pread(input.descriptor, buffer, static_cast<std::size_t>(size), input.position);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return got == 0 ? AVERROR_EOF : AVERROR(errno);
    }
    input.position += got;
    input.consumed += got;
    return static_cast<int>(got);
}

std::int64_t seekInput(void* opaque, std::int64_t offset, int whence) {
    auto& input = *static_cast<FfmpegDecoder::Input*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        return input.size;
    }
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = input.position;
        break;
    case SEEK_END:
        base = input.size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base) {
        return AVERROR(EINVAL);
    }
    input.position = base + offset;
    return input.position;
}

int interrupted(void* opaque) {
    const auto& network = *static_cast<const FfmpegDecoder::Network*>(opaque);
    return static_cast<int>((network.cancelled != nullptr && network.cancelled->load(std::memory_order_relaxed)) ||
                            std::chrono::steady_clock::now() > network.deadline);
}

// What every request to a server is opened with: the protocols it may reach, its waits, and
// certificates checked, which FFmpeg does not do unless asked.
AVDictionary* networkOptions(const StreamRequest& request, const char* protocols) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", protocols, 0);
    av_dict_set(&options, "user_agent", "Zalvo", 0);
    av_dict_set(&options, "rw_timeout", silentConnection, 0);
    av_dict_set(&options, "timeout", connectTime, 0);
    av_dict_set(&options, "tls_verify", "1", 0);
    if (request.authorities != nullptr) {
        av_dict_set(&options, "ca_file", request.authorities, 0);
    }
    return options;
}

bool mentions(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// Why a stream did not open, as the listener can act on it.
std::string failureOf(int error, const std::string& told, bool timedOut) {
    if (mentions(told, "certificate")) {
        return "its certificate is not trusted (" + told + ")";
    }
    // FFmpeg's own socket timeout may come before the opening's deadline.
    if (timedOut || error == AVERROR(ETIMEDOUT)) {
        return "the server did not answer in time";
    }
    switch (error) {
    case AVERROR_HTTP_NOT_FOUND:
        return "the server has no stream there (404)";
    case AVERROR_HTTP_FORBIDDEN:
        return "the server refused it (403)";
    case AVERROR(ECONNREFUSED):
        return "the server refused the connection";
    case AVERROR_INVALIDDATA:
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
    case AVERROR_STREAM_NOT_FOUND:
        return "what the server sends is not audio";
    default:
        break;
    }
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(error, text.data(), text.size());
    return text.data();
}

// The station's name among the answer's ICY headers ("icy-name: Radio\r\n").
std::string icyName(std::string_view headers) {
    constexpr std::string_view key = "icy-name:";
    for (std::size_t start = 0; start < headers.size();) {
        const std::size_t end = std::min(headers.find('\n', start), headers.size());
        std::string_view line = headers.substr(start, end - start);
        if (line.size() >= key.size() && mentions(line.substr(0, key.size()), key)) {
            line.remove_prefix(key.size());
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
                line.remove_prefix(1);
            }
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
                line.remove_suffix(1);
            }
            return std::string(line);
        }
        start = end + 1;
    }
    return {};
}

// Every file but the one handed over is out of reach, whatever a demuxer asks for.
int refuseOpening(AVFormatContext* /*container*/, AVIOContext** /*io*/, const char* /*url*/, int /*flags*/,
                  AVDictionary** /*options*/) {
    return AVERROR(EPERM);
}

bool isDsd(AVCodecID id) {
    return id == AV_CODEC_ID_DSD_LSBF || id == AV_CODEC_ID_DSD_MSBF || id == AV_CODEC_ID_DSD_LSBF_PLANAR ||
           id == AV_CODEC_ID_DSD_MSBF_PLANAR;
}

// DSD decodes at an eighth of its bit rate, still far above what any output takes: a quarter of that
// keeps all it holds below its noise.
int outputRate(AVCodecID codec, int decodedRate) {
    return isDsd(codec) ? decodedRate / 4 : decodedRate;
}

// Containers known by their first bytes skip FFmpeg's probe, which asks every demuxer in turn.
const AVInputFormat* demuxerByMagic(const FfmpegDecoder::Input& input) {
    constexpr std::array<std::pair<std::string_view, std::size_t>, 8> magics{{{"ftyp", 4},
                                                                              {"wvpk", 0},
                                                                              {"TTA1", 0},
                                                                              {"MAC ", 0},
                                                                              {"\x1A\x45\xDF\xA3", 0},
                                                                              {"\x30\x26\xB2\x75\x8E\x66\xCF\x11", 0},
                                                                              {"DSD ", 0},
                                                                              {"tBaK", 0}}};
    constexpr std::array<const char*, 8> demuxers{"mov", "wv", "tta", "ape", "matroska", "asf", "dsf", "tak"};
    std::array<char, 12> head{};
    if (pread(input.descriptor, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
        return nullptr;
    }
    for (std::size_t i = 0; i < magics.size(); ++i) {
        const auto& [magic, at] = magics[i];
        if (std::string_view(head.data() + at, magic.size()) == magic) {
            return av_find_input_format(demuxers[i]);
        }
    }
    return nullptr;
}

// The pictures the header held (covers): their bytes count apart from the opening's, and are let go, as
// nothing here shows them.
std::int64_t dropPictures(AVFormatContext* container) {
    std::int64_t bytes = 0;
    for (unsigned i = 0; i < container->nb_streams; ++i) {
        AVStream* stream = container->streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
            bytes += stream->attached_pic.size;
            av_packet_unref(&stream->attached_pic);
        }
    }
    return bytes;
}

// A length no longer than the file's bytes can hold at the stream's bit rate, with room for a variable
// rate: a header claiming millennia for a few kilobytes is no real file's.
std::int64_t boundedByBytes(std::int64_t length, AVRational timeBase, std::int64_t bitRate, std::int64_t size) {
    if (bitRate <= 0 || length <= 0) {
        return length;
    }
    constexpr std::int64_t variableRateRoom = 4;
    const std::int64_t most = av_rescale(size * 8 * variableRateRoom, timeBase.den, bitRate * timeBase.num);
    return std::min(length, most);
}

} // namespace

FfmpegDecoder::~FfmpegDecoder() {
    av_frame_free(&frame);
    av_frame_free(&converted);
    av_packet_free(&packet);
    av_channel_layout_uninit(&outputLayout);
    swr_free(&resampler);
    avcodec_free_context(&codec);
    avformat_close_input(&container);
    if (io != nullptr) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    if (input.descriptor >= 0) {
        ::close(input.descriptor);
    }
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(int descriptor) {
    std::unique_ptr<FfmpegDecoder> decoder = openContainer(descriptor);
    if (!decoder || !decoder->openCodec() || !decoder->decodeFrame()) {
        return nullptr;
    }
    decoder->input.budget = 0;
    return decoder;
}

std::optional<TrackOutline> FfmpegDecoder::outline(int descriptor) {
    std::unique_ptr<FfmpegDecoder> decoder = openContainer(descriptor);
    if (!decoder) {
        return std::nullopt;
    }
    // A playlist learns most tracks' format and length from their container alone. AAC at a low rate
    // or in mono may carry SBR or parametric stereo that only its decoder finds, doubling either.
    const AVCodecParameters& parameters = *decoder->container->streams[decoder->streamIndex]->codecpar;
    // So may a configuration that signals SBR outright: only two bytes, or five saying no SBR follows,
    // leave nothing to the decoder.
    const bool configSaysAll =
        parameters.extradata_size == 2 || (parameters.extradata_size == 5 && parameters.extradata[2] == 0x56 &&
                                           parameters.extradata[3] == 0xE5 && (parameters.extradata[4] & 0x80U) == 0);
    const bool decoderMayDiffer =
        parameters.codec_id == AV_CODEC_ID_AAC &&
        (parameters.sample_rate <= 24000 || parameters.ch_layout.nb_channels == 1 || !configSaysAll);
    // A codec that refuses its configuration plays nothing, whatever the container says. MP4 files reach
    // here only where their boxes alone did not say enough, and a crafted sample description passes the
    // demuxer: their codec is opened to be sure. Opening every codec would cost a playlist of WMA tracks
    // three times as much to load.
    const bool codecRefuses = std::strncmp(decoder->container->iformat->name, "mov", 3) == 0 && !decoder->openCodec();
    // WavPack and Monkey's Audio rips carry the album's sheet in their APE tag.
    const bool carriesCueSheet = av_dict_get(decoder->container->metadata, "cuesheet", nullptr, 0) != nullptr;
    if (!decoderMayDiffer && !codecRefuses) {
        decoder->output = {static_cast<unsigned>(outputRate(parameters.codec_id, parameters.sample_rate)),
                           static_cast<unsigned>(parameters.ch_layout.nb_channels)};
        decoder->describeLength();
        if (decoder->length) {
            return TrackOutline{decoder->output, decoder->length, carriesCueSheet};
        }
    }
    decoder = open(decoder->releaseDescriptor());
    if (!decoder) {
        return std::nullopt;
    }
    return TrackOutline{decoder->output, decoder->length, carriesCueSheet};
}

bool FfmpegDecoder::tags(int descriptor, ModuleTags& tags) {
    const std::unique_ptr<FfmpegDecoder> decoder = openContainer(descriptor);
    if (!decoder) {
        return false;
    }
    for (const AVDictionary* dictionary :
         {static_cast<const AVDictionary*>(decoder->container->metadata),
          static_cast<const AVDictionary*>(decoder->container->streams[decoder->streamIndex]->metadata)}) {
        for (const AVDictionaryEntry* entry = nullptr;
             (entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr;) {
            tags.emplace_back(entry->key, entry->value);
        }
    }
    return true;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const StreamRequest& request) {
    FfmpegLog::takeOver();
    FfmpegLog::takeLastError();
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder());
    decoder->live = true;
    decoder->network = {request.cancelled, std::chrono::steady_clock::now() + openingTime};
    if (request.format.sampleRate > 0 && request.format.channels > 0) {
        decoder->output = request.format;
        av_channel_layout_default(&decoder->outputLayout, static_cast<int>(request.format.channels));
    }
    if (!decoder->openRemote(request)) {
        return nullptr;
    }
    if (!decoder->openCodec() || !decoder->decodeFrame()) {
        // The server answered and what it sent opened: no frame of it decoded within the opening time.
        *request.failure = failureOf(AVERROR_INVALIDDATA, FfmpegLog::takeLastError(), false);
        return nullptr;
    }
    decoder->network.deadline = std::chrono::steady_clock::time_point::max();
    return decoder;
}

bool FfmpegDecoder::fetch(const StreamRequest& request, std::size_t limit, std::string& body) {
    FfmpegLog::takeOver();
    FfmpegLog::takeLastError();
    Network network{request.cancelled, std::chrono::steady_clock::now() + openingTime};
    const AVIOInterruptCB interrupt{interrupted, &network};
    AVDictionary* options = networkOptions(request, playListProtocols);
    AVIOContext* answer = nullptr;
    const int opened = avio_open2(&answer, request.url, AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    const auto timedOut = [&network] { return std::chrono::steady_clock::now() > network.deadline; };
    if (opened < 0) {
        *request.failure = failureOf(opened, FfmpegLog::takeLastError(), timedOut());
        return false;
    }
    const std::unique_ptr<AVIOContext, void (*)(AVIOContext*)> closer(
        answer, [](AVIOContext* context) { avio_closep(&context); });
    body.clear();
    std::array<unsigned char, 4096> chunk{};
    while (true) {
        const int got = avio_read(answer, chunk.data(), static_cast<int>(chunk.size()));
        // FFmpeg ends a body of no stated length, closed by the server as Icecast's are, with EIO.
        if (got == AVERROR_EOF || got == 0 || (got == AVERROR(EIO) && avio_size(answer) < 0)) {
            return true;
        }
        if (got < 0) {
            *request.failure = failureOf(got, FfmpegLog::takeLastError(), timedOut());
            return false;
        }
        if (body.size() + static_cast<std::size_t>(got) > limit) {
            *request.failure = "the station's playlist is larger than any playlist should be";
            return false;
        }
        body.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(got));
    }
}

bool FfmpegDecoder::openRemote(const StreamRequest& request) {
    container = avformat_alloc_context();
    if (container == nullptr) {
        *request.failure = "out of memory";
        return false;
    }
    container->interrupt_callback = {interrupted, &network};
    container->format_probesize = streamProbeBytes;
    container->probesize = analyseBytes;
    container->max_analyze_duration = std::int64_t{2} * AV_TIME_BASE;
    AVDictionary* options = networkOptions(request, streamProtocols);
    av_dict_set(&options, "format_whitelist", streamDemuxers, 0);
    av_dict_set(&options, "icy", "1", 0);
    av_dict_set(&options, "seekable", "0", 0);
    const int opened = avformat_open_input(&container, request.url, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        *request.failure =
            failureOf(opened, FfmpegLog::takeLastError(), std::chrono::steady_clock::now() > network.deadline);
        return false;
    }
    if (avformat_find_stream_info(container, nullptr) < 0 ||
        (streamIndex = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)) < 0 ||
        container->streams[streamIndex]->codecpar->sample_rate <= 0 ||
        container->streams[streamIndex]->codecpar->ch_layout.nb_channels <= 0 ||
        avcodec_find_decoder(container->streams[streamIndex]->codecpar->codec_id) == nullptr) {
        // The server answered: nothing it sent within the opening time was found to be audio.
        *request.failure = failureOf(AVERROR_INVALIDDATA, FfmpegLog::takeLastError(), false);
        return false;
    }
    for (unsigned i = 0; i < container->nb_streams; ++i) {
        container->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    std::uint8_t* headers = nullptr;
    if (container->pb != nullptr &&
        av_opt_get(container->pb, "icy_metadata_headers", AV_OPT_SEARCH_CHILDREN, &headers) >= 0 &&
        headers != nullptr) {
        station = icyName(reinterpret_cast<const char*>(headers));
    }
    av_free(headers);
    return true;
}

bool FfmpegDecoder::takeMetadata(std::string& block) {
    if (!live || container->pb == nullptr) {
        return false;
    }
    std::uint8_t* packet = nullptr;
    if (av_opt_get(container->pb, "icy_metadata_packet", AV_OPT_SEARCH_CHILDREN, &packet) < 0 || packet == nullptr) {
        return false;
    }
    const std::string_view latest(reinterpret_cast<const char*>(packet),
                                  strnlen(reinterpret_cast<const char*>(packet), metadataBytes));
    const bool changed = !latest.empty() && latest != metadata;
    if (changed) {
        metadata = latest;
        block = metadata;
    }
    av_free(packet);
    return changed;
}

int FfmpegDecoder::releaseDescriptor() {
    return std::exchange(input.descriptor, -1);
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::openContainer(int descriptor) {
    // A damaged file is played as far as it decodes, or refused: FFmpeg's own account of it, packet by
    // packet, goes to the core's debug log, never to standard error.
    FfmpegLog::takeOver();
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder());
    decoder->input.descriptor = descriptor;
    decoder->input.size = lseek(descriptor, 0, SEEK_END);
    decoder->input.budget = openingBytes + pictureBytes;
    if (decoder->input.size <= 0 || !decoder->openStream()) {
        return nullptr;
    }
    return decoder;
}

bool FfmpegDecoder::openStream() {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(ioBufferSize));
    io = buffer == nullptr ? nullptr
                           : avio_alloc_context(buffer, ioBufferSize, 0, &input, readInput, nullptr, seekInput);
    if (io == nullptr) {
        av_free(buffer);
        return false;
    }
    container = avformat_alloc_context();
    if (container == nullptr) {
        return false;
    }
    container->pb = io;
    container->flags |= AVFMT_FLAG_CUSTOM_IO;
    container->io_open = refuseOpening;
    container->format_probesize = probeBytes;
    container->probesize = analyseBytes;
    container->max_analyze_duration = std::int64_t{2} * AV_TIME_BASE;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", audioDemuxers, 0);
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&container, "", demuxerByMagic(input), &options);
    av_dict_free(&options);
    if (opened < 0) {
        return false;
    }
    input.consumed = std::max<std::int64_t>(input.consumed - dropPictures(container), 0);
    input.budget = openingBytes;
    streamIndex = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    // Raw streams (ADTS AAC, AC3) tell their codec, rate and channels only to a look at their first frames.
    if (streamIndex < 0 || container->streams[streamIndex]->codecpar->sample_rate <= 0 ||
        container->streams[streamIndex]->codecpar->ch_layout.nb_channels <= 0) {
        if (avformat_find_stream_info(container, nullptr) < 0) {
            return false;
        }
        streamIndex = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (streamIndex < 0 || container->streams[streamIndex]->codecpar->sample_rate <= 0 ||
        container->streams[streamIndex]->codecpar->ch_layout.nb_channels <= 0 ||
        avcodec_find_decoder(container->streams[streamIndex]->codecpar->codec_id) == nullptr) {
        return false;
    }
    const AVCodecParameters& parameters = *container->streams[streamIndex]->codecpar;
    if (std::strcmp(container->iformat->name, "dsf") == 0 &&
        parameters.block_align < dsfBlockBytes * parameters.ch_layout.nb_channels) {
        return false;
    }
    for (unsigned i = 0; i < container->nb_streams; ++i) {
        container->streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    return true;
}

bool FfmpegDecoder::openCodec() {
    const AVStream* stream = container->streams[streamIndex];
    const AVCodec* decoderCodec = avcodec_find_decoder(stream->codecpar->codec_id);
    codec = avcodec_alloc_context3(decoderCodec);
    if (codec == nullptr || avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
        return false;
    }
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 1;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    converted = av_frame_alloc();
    return packet != nullptr && frame != nullptr && converted != nullptr &&
           avcodec_open2(codec, decoderCodec, nullptr) >= 0;
}

bool FfmpegDecoder::decodeFrame() {
    int fruitless = 0;
    while (!finished) {
        const int received = avcodec_receive_frame(codec, frame);
        if (received == 0) {
            if (!takeFrame()) {
                break;
            }
            if (!pending.empty()) {
                return true;
            }
            continue;
        }
        if (received != AVERROR(EAGAIN) || draining || ++fruitless > fruitlessPackets) {
            break;
        }
        feedPacket();
    }
    finished = true;
    // A resampler holds back a few frames of what it converted.
    pendingStart.reset();
    return resampler != nullptr && convert(nullptr) && !pending.empty();
}

bool FfmpegDecoder::takeFrame() {
    const bool wasFirst = output.sampleRate == 0;
    const bool ok = convert(frame);
    if (ok && wasFirst && !live) {
        firstPts = frame->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : frame->best_effort_timestamp;
        describeLength();
    }
    pendingStart = ok ? positionOf(frame) : std::nullopt;
    av_frame_unref(frame);
    return ok;
}

void FfmpegDecoder::feedPacket() {
    if (av_read_frame(container, packet) < 0) {
        draining = true;
        avcodec_send_packet(codec, nullptr);
        return;
    }
    // A packet that does not decode is lost; the ones after it may decode again.
    if (packet->stream_index == streamIndex) {
        avcodec_send_packet(codec, packet);
    }
    av_packet_unref(packet);
}

bool FfmpegDecoder::convert(AVFrame* decoded) {
    pending.clear();
    pendingOffset = 0;
    if (decoded != nullptr) {
        if (decoded->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int channels = decoded->ch_layout.nb_channels;
            av_channel_layout_uninit(&decoded->ch_layout);
            av_channel_layout_default(&decoded->ch_layout, channels);
        }
        if (output.sampleRate == 0) {
            const int channels = decoded->ch_layout.nb_channels;
            const int rate = outputRate(codec->codec_id, decoded->sample_rate);
            if (rate <= 0 || channels <= 0) {
                return false;
            }
            output = {static_cast<unsigned>(rate), static_cast<unsigned>(channels)};
            if (av_channel_layout_copy(&outputLayout, &decoded->ch_layout) < 0) {
                return false;
            }
        }
    }
    av_frame_unref(converted);
    converted->format = AV_SAMPLE_FMT_FLT;
    converted->sample_rate = static_cast<int>(output.sampleRate);
    if (av_channel_layout_copy(&converted->ch_layout, &outputLayout) < 0) {
        return false;
    }
    if (resampler == nullptr && (resampler = swr_alloc()) == nullptr) {
        return false;
    }
    int result = swr_convert_frame(resampler, converted, decoded);
    // The format may change mid-stream (chained Ogg, a new ADTS header): still converted to the first one.
    if (result == AVERROR_INPUT_CHANGED || result == AVERROR_OUTPUT_CHANGED) {
        swr_close(resampler);
        av_frame_unref(converted);
        converted->format = AV_SAMPLE_FMT_FLT;
        converted->sample_rate = static_cast<int>(output.sampleRate);
        if (av_channel_layout_copy(&converted->ch_layout, &outputLayout) < 0 ||
            swr_config_frame(resampler, converted, decoded) < 0) {
            return false;
        }
        result = swr_convert_frame(resampler, converted, decoded);
    }
    if (result < 0) {
        return false;
    }
    const auto* samples = reinterpret_cast<const float*>(converted->data[0]);
    pending.assign(samples, samples + static_cast<std::size_t>(converted->nb_samples) * output.channels);
    return true;
}

void FfmpegDecoder::describeLength() {
    const AVStream* stream = container->streams[streamIndex];
    const AVRational outputBase{1, static_cast<int>(output.sampleRate)};
    const std::int64_t bitRate = stream->codecpar->bit_rate > 0 ? stream->codecpar->bit_rate : container->bit_rate;
    if (stream->duration > 0) {
        length = static_cast<std::uint64_t>(av_rescale_q(
            boundedByBytes(stream->duration, stream->time_base, bitRate, input.size), stream->time_base, outputBase));
    } else if (container->duration > 0) {
        const AVRational microseconds{1, AV_TIME_BASE};
        length = static_cast<std::uint64_t>(av_rescale_q(
            boundedByBytes(container->duration, microseconds, bitRate, input.size), microseconds, outputBase));
    }
    // An MP4 container knows its audio's exact length, from its edit list or iTunes' own record: the
    // encoder's padding after it is left out, so that tracks join without a gap.
    const int codecRate = stream->codecpar->sample_rate;
    if (std::strncmp(container->iformat->name, "mov", 3) == 0 && stream->duration > 0 && codecRate > 0) {
        const AVRational codecBase{1, codecRate};
        const AVDictionaryEntry* record = av_dict_get(container->metadata, "iTunSMPB", nullptr, 0);
        const std::uint64_t frames =
            gaplessFrames(static_cast<std::uint64_t>(av_rescale_q(stream->duration, stream->time_base, codecBase)),
                          static_cast<std::uint32_t>(codecRate), record != nullptr ? record->value : nullptr);
        length = static_cast<std::uint64_t>(av_rescale_q(static_cast<std::int64_t>(frames), codecBase, outputBase));
        audioEnd = length;
    }
}

std::optional<std::int64_t> FfmpegDecoder::positionOf(const AVFrame* decoded) const {
    if (decoded->best_effort_timestamp == AV_NOPTS_VALUE) {
        return std::nullopt;
    }
    return av_rescale_q(decoded->best_effort_timestamp - firstPts, container->streams[streamIndex]->time_base,
                        AVRational{1, static_cast<int>(output.sampleRate)});
}

std::size_t FfmpegDecoder::read(float* samples, std::size_t frames) {
    const std::size_t channels = output.channels;
    std::size_t done = 0;
    while (done < frames) {
        if (pendingOffset == pending.size() && !decodeFrame()) {
            break;
        }
        std::size_t take = std::min(frames - done, (pending.size() - pendingOffset) / channels);
        if (audioEnd) {
            take = static_cast<std::size_t>(std::min<std::uint64_t>(take, *audioEnd - std::min(*audioEnd, delivered)));
        }
        if (take == 0) {
            break;
        }
        std::copy_n(pending.data() + pendingOffset, take * channels, samples + done * channels);
        pendingOffset += take * channels;
        done += take;
        delivered += take;
    }
    return done;
}

bool FfmpegDecoder::seek(std::uint64_t target) {
    if (live) {
        return false;
    }
    if (target > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) * output.sampleRate) {
        return false;
    }
    const AVStream* stream = container->streams[streamIndex];
    const AVRational outputBase{1, static_cast<int>(output.sampleRate)};
    // Lossy decoders build each frame on the one before: decoding starts a little ahead of the target
    // (Opus asks for 80 ms), so that what is heard from there is what playing through would give.
    const std::int64_t preRoll = output.sampleRate / 10;
    const std::int64_t from =
        firstPts + av_rescale_q(static_cast<std::int64_t>(target) - preRoll, outputBase, stream->time_base);
    // Raw streams cannot seek before their first frame, where the pre-roll may point.
    if (av_seek_frame(container, streamIndex, from, AVSEEK_FLAG_BACKWARD) < 0 &&
        (from >= firstPts || av_seek_frame(container, streamIndex, firstPts, AVSEEK_FLAG_BACKWARD) < 0)) {
        return false;
    }
    avcodec_flush_buffers(codec);
    swr_free(&resampler);
    pending.clear();
    pendingOffset = 0;
    draining = false;
    finished = false;
    const auto wanted = static_cast<std::int64_t>(target);
    while (decodeFrame()) {
        if (!pendingStart) {
            return false;
        }
        const std::int64_t start = *pendingStart;
        const auto count = static_cast<std::int64_t>(pending.size() / output.channels);
        if (start + count > wanted) {
            pendingOffset = static_cast<std::size_t>(std::max<std::int64_t>(wanted - start, 0)) * output.channels;
            delivered = static_cast<std::uint64_t>(std::max(start, wanted));
            return true;
        }
    }
    return false;
}

extern "C" __attribute__((visibility("default"))) ModuleDecoder* zalvo_decoder_open_v4(int descriptor) {
    return FfmpegDecoder::open(descriptor).release();
}

extern "C" __attribute__((visibility("default"))) bool zalvo_decoder_outline_v4(int descriptor, TrackOutline* outline) {
    const std::optional<TrackOutline> found = FfmpegDecoder::outline(descriptor);
    if (found) {
        *outline = *found;
    }
    return found.has_value();
}

extern "C" __attribute__((visibility("default"))) bool zalvo_decoder_tags_v4(int descriptor, ModuleTags* tags) {
    return FfmpegDecoder::tags(descriptor, *tags);
}

extern "C" __attribute__((visibility("default"))) ModuleStream* zalvo_stream_open_v4(const StreamRequest* request) {
    return FfmpegDecoder::open(*request).release();
}

extern "C" __attribute__((visibility("default"))) bool zalvo_fetch_v4(const StreamRequest* request, std::size_t limit,
                                                                      std::string* body) {
    return FfmpegDecoder::fetch(*request, limit, *body);
}

extern "C" __attribute__((visibility("default"))) void zalvo_decoder_set_log_v4(ModuleLogSink sink) {
    FfmpegLog::setSink(sink);
}

} // namespace zalvo
