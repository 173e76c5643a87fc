// Progress and abort sink of the index rebuilds and verifications. A host-side
// subclass overrides SetPosition to forward progress; Abort may be called from
// inside SetPosition, and the running operation stops at its next check.
#ifndef KRO_ENGINE_INDEXFILE_CINDEXPROGRESS_H
#define KRO_ENGINE_INDEXFILE_CINDEXPROGRESS_H

namespace kro {

class CIndexProgress {
 public:
  CIndexProgress() = default;
  virtual ~CIndexProgress() = default;

  virtual void SetPosition(double value) { position_ = value; }
  double GetPosition() const { return position_; }
  void SetRange(double minimum, double maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
  }
  double GetMinimum() const { return minimum_; }
  double GetMaximum() const { return maximum_; }
  void Abort() { aborted_ = 1; }
  bool IsAborted() const { return aborted_ != 0; }

 private:
  int aborted_ = 0;
  double minimum_ = 0;
  double maximum_ = 100;
  double position_ = 0;
};

}  // namespace kro

#endif
