#include "model/slide_source.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

#include "foundation/assert.h"
#include "package/file_accessor.h"
#include "package/show_locator.h"
#include "script/ini_file.h"

namespace zem {

namespace {

WideString Num(int64_t n) { return Utf8ToWide(std::to_string(n)); }

// Process-wide slide orders by "ProjectFilePath"; the lock also guards growing a list.
std::mutex g_ordersLock;
std::map<WideString, std::shared_ptr<TSlideRandomList>>& Orders() {
  static std::map<WideString, std::shared_ptr<TSlideRandomList>> orders;
  return orders;
}

// File name without folders and extension.
WideString BareFileName(const WideString& path) {
  size_t slash = path.find_last_of(u"\\/");
  WideString name = slash == WideString::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind(u'.');
  if (dot != WideString::npos) name.erase(dot);
  return name;
}

int32_t ClampPosition(double p) {
  if (!(p < double(INT32_MAX))) return INT32_MAX;
  if (!(p > double(INT32_MIN))) return INT32_MIN;
  return int32_t(p);
}

}  // namespace

void SortBySwappingLargestKey(std::vector<int32_t>& keys, std::vector<int32_t>& numbers) {
  ZEM_ASSERT(keys.size() == numbers.size());
  for (size_t last = keys.size(); last > 1; --last) {
    size_t largest = 0;
    for (size_t j = 1; j < last; ++j)
      if (keys[j] > keys[largest]) largest = j;
    std::swap(keys[largest], keys[last - 1]);
    std::swap(numbers[largest], numbers[last - 1]);
  }
}

TRef<TZemSource> LocatorShowSource(TZemShowLocator& locator, const TZemSourceOptions& options) {
  if (auto* made = dynamic_cast<TZemSource*>(locator.ShowSource())) return TRef<TZemSource>(made);
  ZEM_ASSERT(locator.Script() != nullptr);
  // The locator's script is shared, not copied (a large show is held once); it carries its
  // screen-saver keys already.
  auto source = MakeRef<TZemSource>(TSharedScript{locator.SharedScript()}, locator.Accessor().Clone(), options);
  locator.SetShowSource(TRef<TRefObj>(source.get()));
  return source;
}

void ClearSlideOrders() {
  std::lock_guard<std::mutex> lock(g_ordersLock);
  Orders().clear();
}

TZemSource::TZemSource(std::unique_ptr<TIniStorage> storage, std::unique_ptr<TFileAccessor> files,
                       const TZemSourceOptions& options)
    : files_(std::move(files)) {
  if (!storage) storage = std::make_unique<TIniStorage>();
  ApplyScreenSaverKeys(*storage, options.screenSaver);
  storage_ = std::move(storage);
  Init(options);
}

TZemSource::TZemSource(TSharedScript script, std::unique_ptr<TFileAccessor> files, const TZemSourceOptions& options)
    : storage_(std::move(script.storage)), files_(std::move(files)) {
  if (!storage_) storage_ = std::make_shared<TIniStorage>();
  Init(options);
}

void TZemSource::Init(const TZemSourceOptions& options) {
  if (options.fixedSeed) transitions_.Random().SetFixedSeed(options.seed);
  main_ = storage_->FindSection(u"Main");

  int32_t count = main_ ? main_->ReadInteger(u"opt_slidescount", 0) : 0;
  if (count < 0) {
    warnings_.push_back("negative slide count " + std::to_string(count) + ": no slides");
    count = 0;
  } else if (count > kMaxSlideCount) {
    warnings_.push_back("slide count " + std::to_string(count) + " cut to " + std::to_string(kMaxSlideCount));
    count = kMaxSlideCount;
  }
  count_ = count;
  if (main_) {
    static const WideView modes[] = {u"repeat", u"close", u"stop"};
    repeatMode_ = TRepeatMode(main_->ReadChoice(u"opt_repeat", std::span<const WideView>(modes), kRepeatShow));
    pauseWhenInactive = main_->ReadBool(u"opt_pausewheninactive", true);
    hiderColour = main_->ReadInteger(u"opt_scr_hidercolor", 0);
    unsharpAmount = main_->ReadFloat(u"opt_scr_unsharpamount", 0);
    if (!std::isfinite(unsharpAmount)) unsharpAmount = 0;
    unsharpThreshold = main_->ReadInteger(u"opt_scr_unsharpthreshold", 0);
  }
  transitions_.ReadGlobal(main_);
  BuildOrder();
  BuildTimings();
}

TZemSource::~TZemSource() = default;

void ApplyScreenSaverKeys(TIniStorage& storage, bool screen_saver) {
  // Only a show that has a main section gets the forced keys.
  if (!storage.FindSection(u"Main")) return;
  if (screen_saver) {
    storage.WriteString(u"Main", u"opt_ssaver", u"1");
    storage.WriteString(u"Main", u"opt_fcp", u"0");
    storage.WriteString(u"Main", u"opt_hidecursor", u"1");
    storage.WriteString(u"Main", u"opt_scr_full", u"1");
    storage.WriteString(u"Main", u"opt_repeat", u"repeat");
  } else {
    storage.WriteString(u"Main", u"opt_ssaver", u"0");
  }
}

WideString TZemSource::ProjectPath() const { return main_ ? main_->ReadString(u"ProjectFilePath", u"") : WideString(); }
bool TZemSource::ManualShow() const { return main_ && main_->ReadString(u"opt_manualshow", u"") == u"1"; }
bool TZemSource::RandomOrder() const { return main_ && main_->ReadBool(u"opt_random", false); }

void TZemSource::BuildOrder() {
  const WideString key = ProjectPath();
  if (key.empty()) return;
  std::lock_guard<std::mutex> lock(g_ordersLock);
  auto& slot = Orders()[key];
  if (slot) {  // reopened in this run: same order
    random_ = slot;
    return;
  }
  auto list = std::make_shared<TSlideRandomList>();
  list->entries.resize(size_t(count_));
  for (int32_t i = 0; i < count_; ++i) list->entries[size_t(i)] = i;
  if (RandomOrder() && count_ > 1) {
    TEffectRandom& rnd = transitions_.Random();
    rnd.SeedFromClock();
    std::vector<int32_t> keys(static_cast<size_t>(count_));
    for (int32_t i = 0; i < count_; ++i) keys[size_t(i)] = rnd.Next(1000000);
    SortBySwappingLargestKey(keys, list->entries);
  }
  slot = list;
  random_ = list;
}

int32_t TZemSource::SlideNumber(int32_t index) const {
  if (index < 0) return -1;
  if (!random_) return index;
  std::lock_guard<std::mutex> lock(g_ordersLock);
  auto& e = random_->entries;
  if (size_t(index) >= e.size()) {
    // Beyond the list: it grows with the identity mapping.
    if (index >= kMaxSlideCount * 4) return index;
    for (size_t i = e.size(); i <= size_t(index); ++i) e.push_back(int32_t(i));
  }
  return e[size_t(index)];
}

const TIniSection* TZemSource::SlideSection(int32_t index) const {
  const int32_t n = SlideNumber(index);
  if (n < 0) return nullptr;
  return storage_->FindSection(u"Slide" + Num(int64_t(n) + 1));
}

double TZemSource::GetTransitionLength(int32_t index) {
  if (index >= 0 && size_t(index) < lengths_.size()) return lengths_[size_t(index)];
  if (count_ <= 0 || index < 0) return 0;
  if (repeatMode_ != kRepeatShow && index >= count_) return 0;
  return transitions_.TransitionLength(SlideSection(index % count_));
}

void TZemSource::BuildTimings() {
  infos_.clear();
  lengths_.clear();
  total_ = 0;
  maxOut_ = 0;
  if (count_ <= 0) return;
  // Every slide's incoming length is chosen once, so a slide's out-length is exactly the
  // uncapped in-length of its successor.
  std::vector<double> lengths(size_t(count_) + 1);
  for (int32_t i = 0; i <= count_; ++i) lengths[size_t(i)] = GetTransitionLength(i);
  if (repeatMode_ == kRepeatShow) lengths[size_t(count_)] = lengths[0];
  lengths_ = std::move(lengths);

  infos_.resize(size_t(count_));
  double prev = 0;
  for (int32_t i = 0; i < count_; ++i) {
    TSlideInfo& info = infos_[size_t(i)];
    const double next = main_ ? main_->ReadInteger(u"opt_synchpos" + Num(int64_t(i) + 1), 0) : 0;
    if (next < prev) ZEM_FAIL("Incorrect time");
    info.start = prev;
    info.next = next;
    info.inLength = std::min(lengths_[size_t(i)], next - prev);
    info.outLength = lengths_[size_t(i) + 1];
    info.end = next + info.outLength;
    maxOut_ = std::max(maxOut_, info.outLength);
    if (const TIniSection* s = SlideSection(i)) {
      info.id = s->ReadString(u"slideid", u"");
      if (info.id.empty()) info.id = BareFileName(s->ReadString(u"picture", u""));
    }
    prev = next;
  }
  total_ = prev;
}

int32_t TZemSource::GetSlideInfo(int32_t position, TSlideInfo& info) const {
  if (position < 0) {
    info = TSlideInfo{};
    if (position == -1) {
      info.start = kVirtualStart1;
      info.next = 0;
      info.inLength = 0;
      info.outLength = infos_.empty() ? 0 : infos_[0].inLength;
      info.end = info.outLength;
    } else {
      info.start = kVirtualStart2;
      info.next = info.end = kVirtualStart1;
    }
    return 0;
  }
  if (count_ <= 0) ZEM_FAIL("No Slides in Presentation");
  const int32_t repeat = position / count_;
  const int32_t index = position % count_;
  info = infos_[size_t(index)];
  const double shift = double(repeat) * total_;
  info.start += shift;
  info.next += shift;
  info.end += shift;
  return repeat;
}

int32_t TZemSource::FirstPositionNextAtLeast(double t) const {
  if (t <= kVirtualStart1) return -2;
  if (t <= 0 || count_ <= 0) return -1;
  if (!(total_ > 0)) return count_ - 1;  // nothing lies after 0: the show is over
  // Repeats before the one holding t; a t on a repeat's end belongs to the earlier repeat.
  const double rep = std::ceil(t / total_) - 1;
  const double within = t - rep * total_;
  auto it = std::lower_bound(infos_.begin(), infos_.end(), within,
                             [](const TSlideInfo& a, double x) { return a.next < x; });
  const int64_t idx = it == infos_.end() ? count_ - 1 : int64_t(it - infos_.begin());
  return ClampPosition(rep * double(count_) + double(idx));
}

int32_t TZemSource::SlideAtTime(double t) const {
  // Positions from -1 upwards; next times never decrease, so the first position whose next
  // reaches t also starts at or before t.
  if (std::isnan(t)) return -1;
  const int32_t p = FirstPositionNextAtLeast(t);
  return p < -1 ? -1 : p;
}

TEndAction TZemSource::GetEndAction(int32_t index, double& loopLength) const {
  loopLength = 0;
  if (count_ <= 0) return TEndAction::None;
  const int32_t i = ((index % count_) + count_) % count_;
  const TIniSection* s = SlideSection(i);
  if (!s) return TEndAction::None;
  const TIniIdent* key = s->FindKey(u"Pers_EndAction");
  if (!key) return TEndAction::None;
  const WideString text = key->Value();
  TEndAction a = TEndAction::None;
  if (text == u"pause")
    a = TEndAction::Pause;
  else if (text == u"loop")
    a = TEndAction::Loop;
  else if (text.empty())
    a = ManualShow() ? TEndAction::Pause : TEndAction::None;
  if (a == TEndAction::Loop) {
    const TSlideInfo& info = infos_[size_t(i)];
    loopLength = info.next - info.start - info.inLength;
    // Nothing to loop over after the incoming transition: hold the slide instead.
    if (!(loopLength > 0)) {
      loopLength = 0;
      a = TEndAction::Pause;
    }
  }
  return a;
}

bool TZemSource::GetRunApp(int32_t index, WideString& fileName) const {
  fileName.clear();
  if (count_ <= 0) return false;
  const TIniSection* s = SlideSection(((index % count_) + count_) % count_);
  if (!s || !s->ReadBool(u"Pers_RunApp", false)) return false;
  fileName = s->ReadString(u"RunAppFN", u"");
  return !fileName.empty();
}

TSlideEffect TZemSource::GetSlideEffect(int32_t index) {
  if (count_ <= 0) ZEM_FAIL("No Slides in Presentation");
  const int32_t i = ((index % count_) + count_) % count_;
  return transitions_.GetSlideEffect(SlideSection(i), main_);
}

}  // namespace zem
