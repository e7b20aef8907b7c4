#include "nistcom.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "wsq_error.h"

namespace wsq {

int allocfet_ret(FetPtr *out, int capacity) {
  auto fet = std::make_unique<Fet>();
  fet->capacity = capacity;
  fet->names.reserve(size_t(std::max(capacity, 0)));
  fet->values.reserve(size_t(std::max(capacity, 0)));
  *out = std::move(fet);
  return 0;
}

namespace {

void Resize(Fet &fet, int capacity) {
  fet.capacity = capacity;
  fet.names.reserve(size_t(capacity));
  fet.values.reserve(size_t(capacity));
}

}  // namespace

int reallocfet_ret(FetPtr *fet, int capacity) {
  if (!*fet || (*fet)->capacity == 0) return allocfet_ret(fet, capacity);
  Resize(**fet, capacity);
  return 0;
}

void freefet(FetPtr *fet) { fet->reset(); }

namespace {

int IndexOf(const std::string &name, const Fet &fet) {
  for (int i = 0; i < fet.Count(); ++i)
    if (fet.names[size_t(i)] == name) return i;
  return -1;
}

std::string FormatInt(int v) { return std::to_string(v); }

// "%f" as the C locale prints it, whatever locale the host set.
std::string FormatFixed6(float v) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, double(v), std::chars_format::fixed, 6);
  return std::string(buf, res.ptr);
}

}  // namespace

int lookupfet(FetValue *value, const std::string &name, const Fet &fet) {
  const int i = IndexOf(name, fet);
  if (i < 0) return 0;
  *value = fet.values[size_t(i)];
  return 1;
}

int extractfet_ret(FetValue *value, const std::string &name, const Fet &fet) {
  const int i = IndexOf(name, fet);
  if (i < 0) return Fail(-2, "ERROR : extractfet_ret : feature %s not found\n", name.c_str());
  *value = fet.values[size_t(i)];
  return 0;
}

int updatefet_ret(const std::string &name, const char *value, Fet &fet) {
  const int i = IndexOf(name, fet);
  if (i >= 0) {
    fet.values[size_t(i)] = value ? FetValue(value) : std::nullopt;
    return 0;
  }
  if (fet.Count() >= fet.capacity) Resize(fet, fet.capacity + std::max(10, fet.capacity / 10));
  fet.names.push_back(name);
  fet.values.push_back(value ? FetValue(value) : std::nullopt);
  return 0;
}

int fet2string(std::string *out, const Fet &fet) {
  std::string text;
  for (int i = 0; i < fet.Count(); ++i) {
    if (i) text += '\n';
    text += fet.names[size_t(i)];
    // An entry without a value is its name alone, which parses back the same.
    if (fet.values[size_t(i)]) {
      text += ' ';
      text += *fet.values[size_t(i)];
    }
  }
  *out = std::move(text);
  return 0;
}

int string2fet(FetPtr *out, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  FetPtr fet;
  if (int ret = allocfet_ret(&fet, 100)) return ret;
  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    const size_t nameStart = pos;
    while (pos < n && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\n') ++pos;
    const std::string_view name = text.substr(nameStart, pos - nameStart);
    std::string_view value;
    // A name that ends its line has no value.
    if (pos < n && text[pos] != '\n') {
      while (pos < n && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
      const size_t valueStart = pos;
      while (pos < n && text[pos] != '\n') ++pos;
      value = text.substr(valueStart, pos - valueStart);
    }
    while (pos < n && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n')) ++pos;
    if (name.empty()) return Fail(-2, "ERROR : string2fet : empty name string found\n");
    if (name.size() > kMaxFetString || value.size() > kMaxFetString)
      return Fail(-3, "ERROR : string2fet : name or value longer than %zu characters\n", kMaxFetString);
    const std::string valueText(value);
    if (int ret = updatefet_ret(std::string(name), value.empty() ? nullptr : valueText.c_str(), *fet))
      return ret;
  }
  *out = std::move(fet);
  return 0;
}

int combine_nistcom(FetPtr *fet, int width, int height, int depth, int ppi, int lossy) {
  FetPtr created;
  Fet *list = fet->get();
  if (!list) {
    if (int ret = allocfet_ret(&created, 6)) return ret;
    list = created.get();
    if (int ret = updatefet_ret("NIST_COM", "6", *list)) return ret;
  }
  if (int ret = updatefet_ret("PIX_WIDTH", FormatInt(width).c_str(), *list)) return ret;
  if (int ret = updatefet_ret("PIX_HEIGHT", FormatInt(height).c_str(), *list)) return ret;
  if (int ret = updatefet_ret("PIX_DEPTH", FormatInt(depth).c_str(), *list)) return ret;
  if (int ret = updatefet_ret("PPI", FormatInt(ppi).c_str(), *list)) return ret;
  FetValue old;
  // A LOSSY entry without a value counts as absent.
  if (lookupfet(&old, "LOSSY", *list) && old && *old != "0" && lossy == 0) {
    Warn("WARNING : combine_nistcom : request to unset lossy flag ignored\n");
  } else if (int ret = updatefet_ret("LOSSY", FormatInt(lossy).c_str(), *list)) {
    return ret;
  }
  if (int ret = updatefet_ret("NIST_COM", FormatInt(list->Count()).c_str(), *list)) return ret;
  if (created) *fet = std::move(created);
  return 0;
}

int combine_wsq_nistcom(FetPtr *fet, int width, int height, int depth, int ppi, int lossy, float bitRate) {
  const bool existed = bool(*fet);
  auto fail = [&](int ret) {
    if (!existed) fet->reset();
    return ret;
  };
  if (int ret = combine_nistcom(fet, width, height, depth, ppi, lossy)) return fail(ret);
  Fet &list = **fet;
  if (int ret = updatefet_ret("COLORSPACE", "GRAY", list)) return fail(ret);
  if (int ret = updatefet_ret("COMPRESSION", "WSQ", list)) return fail(ret);
  if (int ret = updatefet_ret("WSQ_BITRATE", FormatFixed6(bitRate).c_str(), list)) return fail(ret);
  if (int ret = updatefet_ret("NIST_COM", FormatInt(list.Count()).c_str(), list)) return fail(ret);
  return 0;
}

}  // namespace wsq
