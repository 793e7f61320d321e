#!/bin/bash
# zemtool tree lists text nodes with their lines after macros.
set -eu
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/show.zem" <<'SHOW'
[Main]
opt_scr_width=640
opt_scr_height=360
opt_slidescount=3
opt_synchpos1=3000
opt_synchpos2=6000
opt_synchpos3=9000
[Slide2]
object image: photo
  ImageName=pics\harbour.jpg
  ImageIndex=0
  object keypoint:
    Time=0
  end
end
object text: caption
  Text="<%SlideIndex%> of <%slidescount%>^&<%MainImg.FileName%> in <%MainImg.FolderName%>"
  object keypoint:
    Time=0
    ScaleY=10
  end
end
SHOW
out=$("$tool" tree "$dir/show.zem" Slide2)
echo "$out"
echo "$out" | grep -q 'TZemText "caption" .* text=\["2 of 3","harbour in pics"\]'
