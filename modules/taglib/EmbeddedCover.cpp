#include "EmbeddedCover.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>
#include <vector>

namespace zalvo {

namespace {

struct Picture {
    bool front = false;
    TagLib::ByteVector data;
};

void addId3v2(const TagLib::ID3v2::Tag* tag, std::vector<Picture>& pictures) {
    if (tag == nullptr) {
        return;
    }
    for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            pictures.push_back(
                {picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover, picture->picture()});
        }
    }
}

void addFlac(const TagLib::List<TagLib::FLAC::Picture*>& list, std::vector<Picture>& pictures) {
    for (const TagLib::FLAC::Picture* picture : list) {
        pictures.push_back({picture->type() == TagLib::FLAC::Picture::FrontCover, picture->data()});
    }
}

// An APE cover item holds a file name, a zero byte, then the picture.
void addApe(const TagLib::APE::Tag* tag, std::vector<Picture>& pictures) {
    if (tag == nullptr) {
        return;
    }
    const TagLib::APE::ItemListMap& items = tag->itemListMap();
    for (const char* key : {"COVER ART (FRONT)", "COVER ART (OTHER)"}) {
        const auto found = items.find(key);
        if (found == items.end() || found->second.type() != TagLib::APE::Item::Binary) {
            continue;
        }
        const TagLib::ByteVector value = found->second.binaryData();
        const int separator = value.find('\0');
        if (separator >= 0) {
            const auto start = static_cast<unsigned>(separator) + 1;
            pictures.push_back({std::string_view(key) == "COVER ART (FRONT)", value.mid(start)});
        }
    }
}

void addMp4(TagLib::MP4::File& file, std::vector<Picture>& pictures) {
    if (file.tag() == nullptr || !file.tag()->contains("covr")) {
        return;
    }
    // MP4 marks no picture as the front cover: the first one is.
    for (const TagLib::MP4::CoverArt& art : file.tag()->item("covr").toCoverArtList()) {
        pictures.push_back({false, art.data()});
    }
}

void addAsf(TagLib::ASF::File& file, std::vector<Picture>& pictures) {
    if (file.tag() == nullptr || !file.tag()->contains("WM/Picture")) {
        return;
    }
    for (const TagLib::ASF::Attribute& attribute : file.tag()->attribute("WM/Picture")) {
        const TagLib::ASF::Picture picture = attribute.toPicture();
        if (picture.isValid()) {
            pictures.push_back({picture.type() == TagLib::ASF::Picture::FrontCover, picture.picture()});
        }
    }
}

std::vector<Picture> picturesOf(TagLib::File& file) {
    std::vector<Picture> pictures;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        addId3v2(mpeg->ID3v2Tag(), pictures);
        addApe(mpeg->APETag(), pictures);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
        addFlac(flac->pictureList(), pictures);
        addId3v2(flac->ID3v2Tag(), pictures);
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
        addMp4(*mp4, pictures);
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
        addAsf(*asf, pictures);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file)) {
        addId3v2(wav->ID3v2Tag(), pictures);
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(&file)) {
        addId3v2(aiff->tag(), pictures);
    } else if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(&file)) {
        addId3v2(tta->ID3v2Tag(), pictures);
    } else if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(&file)) {
        addApe(wavPack->APETag(), pictures);
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(&file)) {
        addApe(ape->APETag(), pictures);
    } else if (auto* musepack = dynamic_cast<TagLib::MPC::File*>(&file)) {
        addApe(musepack->APETag(), pictures);
    } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag())) {
        addFlac(xiph->pictureList(), pictures);
    }
    return pictures;
}

} // namespace

std::optional<TagLib::ByteVector> EmbeddedCover::read(TagLib::File& file) {
    const std::vector<Picture> pictures = picturesOf(file);
    for (const Picture& picture : pictures) {
        if (picture.front) {
            return picture.data;
        }
    }
    if (pictures.empty()) {
        return std::nullopt;
    }
    return pictures.front().data;
}

} // namespace zalvo
