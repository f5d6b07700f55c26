#!/usr/bin/env python3
# Manual check of a Format.xml against the installed ffmpeg: converts a short
# lavfi test source with every choice the settings dialog can offer (each video
# encoder x size x frame rate, each video bit rate, each audio encoder x sample
# rate x channels x bit rate) into the profile's container, with the settings the
# encoder uses (GOP = frame rate, no B-frames, the encoder's first pixel format).
# Not part of ctest: it runs about a thousand conversions.
#   python3 tests/profiles/check_format_combinations.py [Format.xml] [profile index]
import xml.etree.ElementTree as ET, subprocess, sys, itertools, os, re, tempfile, shutil
doc=ET.parse(sys.argv[1] if len(sys.argv)>1 else os.path.join(os.path.dirname(__file__),"..","..","data","Format.xml")).getroot()
only=sys.argv[2] if len(sys.argv)>2 else None
tmp=tempfile.mkdtemp(prefix="discreel-combos-"); os.makedirs(tmp,exist_ok=True)
pixcache={}
def firstpix(enc):
    if enc not in pixcache:
        o=subprocess.run(["ffmpeg","-hide_banner","-h","encoder="+enc],capture_output=True,text=True).stdout
        m=re.search(r"Supported pixel formats: (\S+)",o)
        pixcache[enc]=m.group(1) if m else "yuv420p"
    return pixcache[enc]
def vals(lst): return [e.split("$")[0] for e in lst.split(",") if e]
def rate(fr):
    fr=int(fr)
    return {29970:"30000/1001",23976:"24000/1001"}.get(fr,str(fr//1000))
def run(ext,v,a,tag):
    cmd=["ffmpeg","-y","-v","error","-threads","1"]
    if v:
        c,w,h,fr,br=v
        cmd+=["-f","lavfi","-i",f"testsrc=size={w}x{h}:rate={rate(fr)}"]
    if a:
        cmd+=["-f","lavfi","-i","sine=frequency=440:sample_rate=48000"]
    cmd+=["-t","0.4"]
    if v:
        c,w,h,fr,br=v
        cmd+=["-c:v",c,"-s",f"{w}x{h}","-r",rate(fr),"-b:v",str(br),"-g",str(int(fr)//1000),"-bf","0","-pix_fmt",firstpix(c)]
        if c.startswith("libvpx"): cmd+=["-deadline","realtime","-cpu-used","8"]
    if a:
        ac,sr,ch,abr=a
        cmd+=["-c:a",ac,"-ar",str(sr),"-ac",str(ch),"-b:a",str(abr)]
    out=f"{tmp}/t{ext}"
    r=subprocess.run(cmd+[out],capture_output=True,text=True)
    ok = r.returncode==0 and os.path.getsize(out)>0
    if not ok or r.stderr.strip():
        print(("FAIL" if not ok else "WARN"),tag,v,a,r.stderr.strip()[:300].replace("\n"," | "))
    return ok
total=fails=0
for i,p in enumerate(doc.findall("Profile")):
    g=lambda t:(p.find(t).get("value") if p.find(t) is not None else None)
    if only and str(i)!=only: continue
    ext=g("FormatExt"); name=g("ProfileName")
    hv=g("VideoCodecName") is not None
    vdef=(g("VideoCodecName"),g("Width"),g("Height"),g("FrameRate"),g("VideoBitRate")) if hv else None
    adef=(g("AudioCodecName"),g("SampleRate"),g("Channel"),g("AudioBitRate"))
    print("==",i,name,flush=True)
    cases=[]
    cases.append((vdef,adef))
    if hv:
        for c,rs,fr in itertools.product(vals(g("VideoCodecs")),vals(g("Resolutions")),vals(g("FrameRates"))):
            w,h=rs.split("*"); cases.append(((c,w,h,fr,vdef[4]),None))
        for c,br in itertools.product(vals(g("VideoCodecs")),vals(g("VideoBitRates"))):
            cases.append(((c,vdef[1],vdef[2],vdef[3],br),None))
    small=(vdef[0],"160","120",vdef[3],vdef[4]) if hv else None
    if hv and vdef[0]=="h263": small=(vdef[0],"128","96",vdef[3],vdef[4])
    for ac,sr,ch,abr in itertools.product(vals(g("AudioCodecs")),vals(g("SampleRates")),vals(g("Channels")),vals(g("AudioBitRates"))):
        cases.append((small,(ac,sr,ch,abr)))
    for v,a in cases:
        total+=1
        if not run(ext,v,a,name): fails+=1
print("total",total,"fails",fails)
shutil.rmtree(tmp, ignore_errors=True)
sys.exit(1 if fails else 0)
