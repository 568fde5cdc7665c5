// GPX: the GPX document tree TGPX with its waypoints, routes and tracks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/CompactString.h"
#include "model/GPS.h"
#include "model/GPX_Style.h"
#include "model/List.h"

namespace sondralis {

// The in-memory form of a GPX 1.1 document. Every `filled` flag means that
// the element was present in a file. Owned parts are value members; list
// items are heap objects owned by their list. Every CopyFrom is deep.

class TGPXemail {
 public:
  std::string id;      // the part before the "@"
  std::string domain;  // the part after it
  bool filled = false;
  void CopyFrom(const TGPXemail& Email) { *this = Email; }
};

class TGPXLink {
 public:
  CompactString href;
  CompactString text;
  CompactString ltype;  // GPX link type
  bool filled = false;
  void CopyFrom(const TGPXLink& Link) { *this = Link; }
};

class TGPXperson {
 public:
  std::string name;
  TGPXemail email;
  TGPXLink link;
  bool filled = false;
  void CopyFrom(const TGPXperson& Person) { *this = Person; }
};

class TGPXcopyright {
 public:
  std::string author;
  std::int32_t year = -1;  // -1 = none
  std::string license;
  bool filled = false;
  void CopyFrom(const TGPXcopyright& Copyright) { *this = Copyright; }
};

class TGPXbounds {
 public:
  double minlat = 0, minlon = 0, maxlat = 0, maxlon = 0;
  bool filled = false;
  void CopyFrom(const TGPXbounds& Bounds) { *this = Bounds; }
};

class TGPXmetadata {
 public:
  std::string name;
  std::string desc;
  TGPXperson author;
  TGPXcopyright copyright;
  TGPXLink link;
  TDateTime mtime = 0;  // 0 = none
  std::string keywords;
  TGPXbounds bounds;
  std::string extensions;  // raw XML inside the element's extensions
  bool filled = false;
  void CopyFrom(const TGPXmetadata& Metadata) { *this = Metadata; }
};

class TGPXExtension {
 public:
  std::string Text;  // raw XML of the document's top-level extensions
  void CopyFrom(const TGPXExtension& Extension) { Text = Extension.Text; }
};

// The fields of a waypoint, route point or track point beyond position,
// elevation, time and depth. An echo-sounder recording has none of them, so
// a point keeps them in a record of their own that exists only when one of
// them was set.
struct TGPXwptDetails {
  double magvar = 0;       // degrees
  double geoidheight = 0;  // metres
  CompactString name, cmt, desc, src;
  TGPXLink link;
  CompactString sym;
  CompactString wtype;  // GPX type
  CompactString fix;    // lower case
  std::uint8_t sat = 255;                  // 255 = none
  double hdop = -1, vdop = -1, pdop = -1;  // -1 = none
  double ageofdgpsdata = -1;               // -1 = none
  std::int32_t dgpsid = -1;                // -1 = none
  CompactString extensions;                // raw XML inside the point's extensions

  // The record of a point that has none: every field at its default.
  static const TGPXwptDetails& Defaults();
};

// A waypoint, route point or track point. The fields beyond TPoint4D2 are
// read with the accessors below (their defaults when the point has no
// details) and changed through Edit().
class TGPXwpt : public TPoint4D2 {
 public:
  TGPXwpt() = default;
  TGPXwpt(const TGPXwpt& other) : TPoint4D2(other) { CopyDetails(other); }
  TGPXwpt& operator=(const TGPXwpt& other) {
    if (this != &other) {
      TPoint4D2::operator=(other);
      CopyDetails(other);
    }
    return *this;
  }
  ~TGPXwpt() override = default;

  double magvar() const noexcept { return Details().magvar; }
  double geoidheight() const noexcept { return Details().geoidheight; }
  std::string_view name() const noexcept { return Details().name.view(); }
  std::string_view cmt() const noexcept { return Details().cmt.view(); }
  std::string_view desc() const noexcept { return Details().desc.view(); }
  std::string_view src() const noexcept { return Details().src.view(); }
  const TGPXLink& link() const noexcept { return Details().link; }
  std::string_view sym() const noexcept { return Details().sym.view(); }
  std::string_view wtype() const noexcept { return Details().wtype.view(); }
  std::string_view fix() const noexcept { return Details().fix.view(); }
  std::uint8_t sat() const noexcept { return Details().sat; }
  double hdop() const noexcept { return Details().hdop; }
  double vdop() const noexcept { return Details().vdop; }
  double pdop() const noexcept { return Details().pdop; }
  double ageofdgpsdata() const noexcept { return Details().ageofdgpsdata; }
  std::int32_t dgpsid() const noexcept { return Details().dgpsid; }
  std::string_view extensions() const noexcept { return Details().extensions.view(); }

  bool HasDetails() const noexcept { return fDetails != nullptr; }
  const TGPXwptDetails& Details() const noexcept { return fDetails ? *fDetails : TGPXwptDetails::Defaults(); }
  // The details for changing them, made on first use.
  TGPXwptDetails& Edit() {
    if (!fDetails) fDetails = std::make_unique<TGPXwptDetails>();
    return *fDetails;
  }

  // Copies every field except Level and enabled.
  void CopyFrom(const TGPXwpt& WayPoint);

 private:
  void CopyDetails(const TGPXwpt& other) {
    fDetails = other.fDetails ? std::make_unique<TGPXwptDetails>(*other.fDetails) : nullptr;
  }

  std::unique_ptr<TGPXwptDetails> fDetails;
};

class TGPXwptList : public TPointList2 {
 public:
  TGPXwptList() { SetEnabled(true); }

  // The namespace URI the file bound to the prefix of its points' depth
  // elements (h:depth), so that a save writes the depths back under it;
  // empty for lists whose depths the program made.
  std::string DepthNamespace;

  TGPXwpt* WayPoints(int Index) const { return static_cast<TGPXwpt*>(Items(Index)); }
  // Appends a new point made in the list's storage.
  TGPXwpt* NewPoint() { return AddStored<TGPXwpt>(); }
  // Keeps the items already here and appends copies of the source's; copies
  // filled, and the depth namespace when this list has none yet.
  void CopyFrom(const TGPXwptList& wptlist);
  // Appends a copy of every point of `source` (the points must be TGPXwpt).
  void AppendCopies(const TGPXwptList& source);
};

// The fields of a route or track beside its points or segments: few routes
// and tracks have them, so they live in a record made when one is set.
struct TGPXrouteDetails {
  std::string name, cmt, desc, src;
  TGPXLink link;
  std::int32_t number = -1;  // -1 = none
  std::string type;          // GPX type
  std::string extensions;
  TGPX_StyleLine LineStyle;

  static const TGPXrouteDetails& Defaults();
};

// Read access to the details of a route or a track; Edit() to change them.
class TGPXrouteFields {
 public:
  TGPXrouteFields() = default;
  TGPXrouteFields(const TGPXrouteFields&) = delete;
  TGPXrouteFields& operator=(const TGPXrouteFields&) = delete;

  const std::string& name() const noexcept { return Details().name; }
  const std::string& cmt() const noexcept { return Details().cmt; }
  const std::string& desc() const noexcept { return Details().desc; }
  const std::string& src() const noexcept { return Details().src; }
  const TGPXLink& link() const noexcept { return Details().link; }
  std::int32_t number() const noexcept { return Details().number; }
  const std::string& extensions() const noexcept { return Details().extensions; }
  const TGPX_StyleLine& LineStyle() const noexcept { return Details().LineStyle; }

  bool HasDetails() const noexcept { return fDetails != nullptr; }
  const TGPXrouteDetails& Details() const noexcept {
    return fDetails ? *fDetails : TGPXrouteDetails::Defaults();
  }
  TGPXrouteDetails& Edit() {
    if (!fDetails) fDetails = std::make_unique<TGPXrouteDetails>();
    return *fDetails;
  }

 protected:
  void CopyDetails(const TGPXrouteFields& other) {
    if (&other == this) return;
    fDetails = other.fDetails ? std::make_unique<TGPXrouteDetails>(*other.fDetails) : nullptr;
  }

 private:
  std::unique_ptr<TGPXrouteDetails> fDetails;
};

class TGPXrte : public TGPXwptList, public TGPXrouteFields {
 public:
  const std::string& rtype() const noexcept { return Details().type; }  // GPX type

  TGPXwpt* rtept(int Index) const { return WayPoints(Index); }
  // Replaces the points by copies of the source's.
  void CopyFrom(const TGPXrte& Route);
};

class TGPXtrkseg : public TGPXwptList {
 public:
  CompactString extensions;

  TGPXwpt* trkpt(int Index) const { return WayPoints(Index); }
  // Replaces the points by copies of the source's.
  void CopyFrom(const TGPXtrkseg& TrackSeg);
};

class TGPXtrk : public TOwningList<TGPXtrkseg>, public TGPXrouteFields {
 public:
  const std::string& ttype() const noexcept { return Details().type; }  // GPX type

  TGPXtrkseg* trkseg(int Index) const { return Items(Index); }
  bool enabled() const noexcept { return penabled; }
  void SetEnabled(bool Value) noexcept { penabled = Value; }
  // Keeps the segments already here and appends copies of the source's.
  void CopyFrom(const TGPXtrk& trk);

 private:
  bool penabled = true;
};

class TGPXrteList : public TOwningList<TGPXrte> {
 public:
  bool filled = false;
  TGPXrte* Routes(int Index) const { return Items(Index); }
  bool enabled() const noexcept { return penabled; }
  void SetEnabled(bool Value) noexcept { penabled = Value; }
  // Keeps the routes already here and appends copies; copies filled.
  void CopyFrom(const TGPXrteList& rtelist);
  // The source's routes themselves are appended; the source is left empty.
  void MoveFrom(TGPXrteList& rtelist);

 private:
  bool penabled = true;
};

class TGPXtrkList : public TOwningList<TGPXtrk> {
 public:
  bool filled = false;
  TGPXtrk* Tracks(int Index) const { return Items(Index); }
  bool enabled() const noexcept { return penabled; }
  void SetEnabled(bool Value) noexcept { penabled = Value; }
  // Keeps the tracks already here and appends copies; copies filled.
  void CopyFrom(const TGPXtrkList& trkList);
  // What CopyFrom followed by emptying the source gives, without copying:
  // the source's tracks themselves are appended and the source is left empty.
  void MoveFrom(TGPXtrkList& trkList);

 private:
  bool penabled = true;
};

// References to selected objects of a document; it owns nothing.
class TGPXSelection : public TList<void> {
 public:
  const void* Parent = nullptr;
  bool IsInSelection(const void* Truc) const { return IndexOf(Truc) >= 0; }
  // Empties the selection: nothing selected is carried over.
  void copyFrom(const TGPXSelection& /*selection*/) { Clear(); }
};

// Options of a GPX file object, read by the writer.
class TGPXOptions {
 public:
  bool GPX_Style = false;  // write line-style extensions
  bool Compress = false;   // no line ends, no indentation
};

// The metadata bounds of the waypoints, then every route, then each of
// `segments` in the given order, merged as ComputeMetaBounds merges them
// (the order matters while an edge sits at exactly 0); nothing when the box
// has no width or no height. Lists are not changed.
std::optional<TGPXbounds> BoundsOf(const TGPXwptList& wpt, const TGPXrteList& rte,
                                   const std::vector<const TGPXtrkseg*>& segments);

class TGPX {
 public:
  TGPX() { Selection.Parent = this; }
  TGPX(const TGPX&) = delete;
  TGPX& operator=(const TGPX&) = delete;
  ~TGPX() = default;

  std::string creator;
  TGPXmetadata metadata;
  TGPXwptList wpt;
  TGPXrteList rte;
  TGPXtrkList trk;
  TGPXExtension extension;
  TGPXSelection Selection;

  const std::string& version() const noexcept { return fversion; }
  void SetVersion(std::string Value) { fversion = std::move(Value); }
  bool enabled() const noexcept { return penabled; }
  void SetEnabled(bool Value) noexcept { penabled = Value; }

  // Replaces version, creator, metadata and extension; appends copies of the
  // source's waypoints, routes and tracks; empties the selection.
  void CopyFrom(const TGPX& GPXd);
  // Empties the selection and destroys all waypoints, routes and tracks;
  // version, creator, metadata and extension stay.
  void Clear();
  // Sets metadata.bounds to the box of all points, unless that box has no
  // width or no height.
  void ComputeMetaBounds();

 private:
  bool penabled = true;
  std::string fversion;
};

}  // namespace sondralis
