# A one-slide show of n small boxes, each moving for a minute, so that every frame is slow:
# awk -v n=COUNT -f box_show.awk > show.zem (the window tests and bench/big_show.sh use it).
BEGIN {
  printf "[Main]\r\nZemVersion=5.6\r\nopt_exefn=testshow\r\nopt_scr_full=0\r\nopt_scr_width=320\r\n"
  printf "opt_scr_height=240\r\nopt_slidescount=1\r\nopt_synchpos1=60000\r\nopt_repeat=repeat\r\n"
  printf "[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=255\r\n"
  srand(1)
  for (i = 0; i < n; i++) {
    printf "object box: B%d\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=%d,%d,%d\r\n", i, rand() * 255, rand() * 255, rand() * 255
    printf "  object keypoint:\r\n    Time=0\r\n    Position=%d,%d\r\n    ScaleX=2\r\n    ScaleY=2\r\n  end\r\n", rand() * 180 - 90, rand() * 180 - 90
    printf "  object keypoint:\r\n    Time=60000\r\n  end\r\nend\r\n"
  }
}
