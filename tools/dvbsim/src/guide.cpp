#include "guide.h"

#include <algorithm>
#include <map>

namespace vantiro::dvbsim {

namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

constexpr auto kEventLength = minutes(30);
constexpr auto kBeforeAnchor = minutes(10);
constexpr int kScheduledEvents = 16;
constexpr auto kSegment = hours(3);

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

uint8_t bcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

// Modified Julian Date and BCD time of day, the 40-bit UTC_time of DVB SI.
Bytes utcTime(WallClock::time_point t) {
  int64_t s = std::chrono::duration_cast<seconds>(t.time_since_epoch()).count();
  int64_t days = s / 86400, rest = s % 86400;
  auto mjd = static_cast<uint16_t>(40587 + days);
  return {static_cast<uint8_t>(mjd >> 8), static_cast<uint8_t>(mjd), bcd(static_cast<int>(rest / 3600)),
          bcd(static_cast<int>(rest / 60 % 60)), bcd(static_cast<int>(rest % 60))};
}

Bytes bcdDuration(seconds d) {
  int64_t s = d.count();
  return {bcd(static_cast<int>(std::min<int64_t>(s / 3600, 99))), bcd(static_cast<int>(s / 60 % 60)),
          bcd(static_cast<int>(s % 60))};
}

Bytes descriptor(uint8_t tag, const Bytes& body) {
  Bytes d{tag, static_cast<uint8_t>(std::min<size_t>(body.size(), 255))};
  d.insert(d.end(), body.begin(), body.begin() + static_cast<long>(std::min<size_t>(body.size(), 255)));
  return d;
}

// How the titles of a service are written: plain ASCII (English), ISO/IEC
// 8859-11 with selector 0x07 (Thai), UTF-8 with selector 0x15 (French).
struct Style {
  const char* language;
  std::string titles[2];
  std::string laterTitle;  // followed by the event number
  std::string text;
};

const Style& styleOf(size_t service) {
  static const Style styles[3] = {
      {"eng", {"Morning News", "Weather"}, "Programme ", "The day's first look at the news."},
      {"tha",
       {"\x07\xa2\xe8\xd2\xc7\xe0\xaa\xe9\xd2", "\x07\xbe\xc2\xd2\xa1\xc3\xb3\xec\xcd\xd2\xa1\xd2\xc8"},
       "\x07\xc3\xd2\xc2\xa1\xd2\xc3\xca\xd2\xc3\xa4\xb4\xd5 ",
       "\x07\xa2\xe8\xd2\xc7\xe0\xaa\xe9\xd2\xbb\xc3\xd0\xa8\xd3\xc7\xd1\xb9\xbe\xc3\xe9\xcd\xc1\xca\xc3\xd8\xbb"
       "\xe0\xcb\xb5\xd8\xa1\xd2\xc3\xb3\xec\xca\xd3\xa4\xd1\xad"},
      {"fra", {"\x15" "Caf\xc3\xa9 Cr\xc3\xa8me", "\x15M\xc3\xa9t\xc3\xa9o"}, "\x15\xc3\x89mission ",
       "\x15Le caf\xc3\xa9 du matin."},
  };
  return styles[service % 3];
}

std::string titleOf(size_t service, int index, bool revised) {
  const Style& style = styleOf(service);
  std::string title = index < 2 ? style.titles[index] : style.laterTitle + std::to_string(index);
  return revised ? title + " (revised)" : title;
}

}  // namespace

Guide::Guide(GuideSettings settings, uint16_t transportStreamId, uint16_t originalNetworkId,
             std::vector<uint16_t> serviceIds, WallClock::time_point anchor)
    : settings_(settings),
      tsid_(transportStreamId),
      onid_(originalNetworkId),
      services_(std::move(serviceIds)),
      anchor_(std::chrono::floor<seconds>(anchor)) {}

Guide::Event Guide::event(int index) const {
  auto firstEnd = anchor_ + seconds(std::max(1, settings_.shortEventSeconds));
  if (index == 0) {
    auto start = anchor_ - kBeforeAnchor;
    return {0, start, std::chrono::duration_cast<seconds>(firstEnd - start)};
  }
  return {index, firstEnd + kEventLength * (index - 1), kEventLength};
}

int Guide::presentIndex(WallClock::time_point now) const {
  auto firstEnd = event(0).start + event(0).duration;
  if (now < firstEnd) return 0;
  return 1 + static_cast<int>((now - firstEnd) / kEventLength);
}

bool Guide::changed(WallClock::time_point now) const {
  return settings_.changeAfterSeconds > 0 && now >= anchor_ + seconds(settings_.changeAfterSeconds);
}

Bytes Guide::eventEntry(size_t service, const Event& e, int runningStatus, bool revised) const {
  const Style& style = styleOf(service);
  Bytes descriptors;
  // Short event: language, title, a line of text.
  Bytes shortEvent;
  append(shortEvent, std::string(style.language));
  std::string title = titleOf(service, e.index, revised);
  shortEvent.push_back(static_cast<uint8_t>(title.size()));
  append(shortEvent, title);
  shortEvent.push_back(static_cast<uint8_t>(style.text.size()));
  append(shortEvent, style.text);
  append(descriptors, descriptor(0x4D, shortEvent));
  // Extended event: one item and a longer text (descriptor 0 of 0).
  Bytes extended{0x00};
  append(extended, std::string(style.language));
  std::string itemName = "Presenter", itemValue = "Ann Smith";
  Bytes items{static_cast<uint8_t>(itemName.size())};
  append(items, itemName);
  items.push_back(static_cast<uint8_t>(itemValue.size()));
  append(items, itemValue);
  extended.push_back(static_cast<uint8_t>(items.size()));
  append(extended, items);
  std::string longText = "Programme " + std::to_string(e.index) +
                         " of the simulated band, described at length for the guide's information panel.";
  extended.push_back(static_cast<uint8_t>(longText.size()));
  append(extended, longText);
  append(descriptors, descriptor(0x4E, extended));
  // Content: news, weather report, then film, sports, children's in turn.
  static constexpr uint8_t kContent[] = {0x10, 0x40, 0x50};
  uint8_t content = e.index == 0 ? 0x20 : e.index == 1 ? 0x21 : kContent[e.index % 3];
  append(descriptors, descriptor(0x54, {content, 0x00}));
  // Parental rating in Thailand: none given, 7, 13, 18 in turn (age - 3).
  static constexpr uint8_t kRatings[] = {0x00, 0x04, 0x0A, 0x0F};
  append(descriptors, descriptor(0x55, {'T', 'H', 'A', kRatings[e.index % 4]}));

  Bytes entry;
  auto id = static_cast<uint16_t>(0x0100 + e.index);
  entry.push_back(static_cast<uint8_t>(id >> 8));
  entry.push_back(static_cast<uint8_t>(id));
  append(entry, utcTime(e.start));
  append(entry, bcdDuration(e.duration));
  entry.push_back(static_cast<uint8_t>(runningStatus << 5 | (descriptors.size() >> 8 & 0x0F)));
  entry.push_back(static_cast<uint8_t>(descriptors.size()));
  append(entry, descriptors);
  return entry;
}

Section Guide::eitSection(uint8_t tableId, uint16_t serviceId, int version, uint8_t number, uint8_t last,
                          uint8_t segmentLast, const Bytes& events) const {
  size_t length = 11 + events.size() + 4;  // after the length field
  Section s{tableId,
            static_cast<uint8_t>(0xF0 | (length >> 8 & 0x0F)),
            static_cast<uint8_t>(length),
            static_cast<uint8_t>(serviceId >> 8),
            static_cast<uint8_t>(serviceId),
            static_cast<uint8_t>(0xC1 | (version & 0x1F) << 1),
            number,
            last,
            static_cast<uint8_t>(tsid_ >> 8),
            static_cast<uint8_t>(tsid_),
            static_cast<uint8_t>(onid_ >> 8),
            static_cast<uint8_t>(onid_),
            segmentLast,
            static_cast<uint8_t>(tableId == 0x4E ? 0x4E : 0x50)};
  append(s, events);
  s.resize(s.size() + 4);
  fixSectionCrc(s);
  return s;
}

std::vector<Section> Guide::eit(WallClock::time_point now) const {
  std::vector<Section> sections;
  bool revised = changed(now);
  int present = presentIndex(now);
  // Present/following changes version with every change of the event on
  // air, and once more when the whole guide is revised.
  int pfVersion = present + (revised ? 1 : 0);
  int scheduleVersion = revised ? 1 : 0;
  for (size_t i = 0; i < services_.size(); ++i) {
    sections.push_back(eitSection(0x4E, services_[i], pfVersion, 0, 1, 1,
                                  eventEntry(i, event(present), 4, revised)));
    sections.push_back(eitSection(0x4E, services_[i], pfVersion, 1, 1, 1,
                                  eventEntry(i, event(present + 1), 1, revised)));
  }
  // The schedule: events by three-hour segment of the days from the
  // anchor's midnight (UTC), one section per segment (section = segment * 8).
  auto midnight = std::chrono::floor<std::chrono::days>(anchor_);
  for (size_t i = 0; i < services_.size(); ++i) {
    std::map<int, Bytes> segments;
    for (int k = 0; k < kScheduledEvents; ++k) {
      Event e = event(k);
      int segment = e.start < midnight ? 0 : static_cast<int>((e.start - midnight) / kSegment);
      if (segment >= 32) break;  // table 0x50 covers four days
      append(segments[segment], eventEntry(i, e, 0, revised));
    }
    if (segments.empty()) continue;
    auto last = static_cast<uint8_t>(segments.rbegin()->first * 8);
    for (const auto& [segment, events] : segments) {
      auto number = static_cast<uint8_t>(segment * 8);
      sections.push_back(eitSection(0x50, services_[i], scheduleVersion, number, last, number, events));
    }
  }
  return sections;
}

std::vector<Section> Guide::time(WallClock::time_point now) const {
  Bytes utc = utcTime(now);
  Section tdt{0x70, 0x70, 0x05};
  append(tdt, utc);
  // TOT: Thailand, UTC+07:00 all year (the change time is today's midnight).
  Bytes offset{'T', 'H', 'A', 0x02, 0x07, 0x00};
  append(offset, utcTime(std::chrono::floor<std::chrono::days>(now)));
  append(offset, Bytes{0x07, 0x00});
  Bytes loop = descriptor(0x58, offset);
  Section tot{0x73, 0x70, static_cast<uint8_t>(5 + 2 + loop.size() + 4)};
  append(tot, utc);
  tot.push_back(static_cast<uint8_t>(0xF0 | (loop.size() >> 8)));
  tot.push_back(static_cast<uint8_t>(loop.size()));
  append(tot, loop);
  tot.resize(tot.size() + 4);
  fixSectionCrc(tot);
  return {tdt, tot};
}

}  // namespace vantiro::dvbsim
