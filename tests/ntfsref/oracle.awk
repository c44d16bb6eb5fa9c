# Turns what ntfsinfo reports about the base records of a volume into a table of tab-separated
# lines that the Windows test program reads. The input is "@record N" followed by the output
# of "ntfsinfo -v -t -i N" for every record, and "@geometry" followed by "ntfsinfo -m".
#
#   volume   major  minor  flags  bytes-per-cluster  bytes-per-record  bytes-per-sector
#   record   N  directory(0/1)
#   name     N  parent  namespace(0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS)  name
#   attr     N  holder  type  non-resident(0/1)  lowest-vcn  highest-vcn  data-size  name
#   run      N  vcn  lcn(-1 sparse)  length          (of the attr line before it)
BEGIN { FS = "\t"; OFS = "\t" }

function hex(s,    v, i, c) {
    sub(/^0x/, "", s)
    v = 0
    for (i = 1; i <= length(s); i++) {
        c = index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
        if (c < 0) return -1
        v = v * 16 + c
    }
    return v
}
function number(line,    s) {
    s = line
    sub(/^[^:]*:/, "", s)
    sub(/^[^0-9]*/, "", s)
    sub(/[^0-9].*$/, "", s)
    return s + 0
}
function quoted(line,    s) {
    s = line
    sub(/^[^']*'/, "", s)
    sub(/'[^']*$/, "", s)
    return s
}
function flush() {
    if (type == "") return
    printf "attr\t%d\t%d\t%d\t%d\t%.0f\t%.0f\t%.0f\t%s\n", rec, holder, type, nonres, low, high, size, name
    for (i = 0; i < nruns; i++) print runs[i]
    type = ""
}

/^@geometry/ { flush(); geometry = 1; next }
/^@record / { flush(); geometry = 0; rec = $0; sub(/^@record /, "", rec); rec += 0; next }

geometry && /^\tSector Size:/ { sector = number($0) }
geometry && /^\tCluster Size:/ { cluster = number($0) }
geometry && /^\tMFT Record Size:/ { recsize = number($0) }

/^MFT Record Flags:/ { print "record", rec, ($0 ~ /DIRECTORY/) ? 1 : 0; next }

/^Dumping attribute / {
    flush()
    s = $0; sub(/^[^(]*\(/, "", s); sub(/\).*$/, "", s); type = hex(s)
    h = $0; sub(/.*from mft record /, "", h); sub(/ .*$/, "", h); holder = h + 0
    name = ""; nonres = 0; low = 0; high = -1; size = -1; nruns = 0; inruns = 0
    next
}
/^\tResident:/ { nonres = ($0 ~ /No/) ? 1 : 0; next }
/^\tAttribute name:/ { name = quoted($0); next }
/^\tLowest VCN/ { low = number($0); next }
/^\tHighest VCN:/ { high = number($0); next }
/^\tData size:/ { size = number($0); next }
/^\tRunlist:/ { inruns = 1; next }
inruns && /^\t\t\t0x/ {
    if ($6 ~ /NOT_MAPPED/) next
    v = hex($4); n = hex($8)
    if (v < low || v > high) next
    l = ($6 ~ /HOLE/) ? -1 : hex($6)
    runs[nruns++] = sprintf("run\t%d\t%.0f\t%.0f\t%.0f", rec, v, l, n)
    next
}
/^\tParent directory:/ { parent = number($0); next }
/^\tNamespace:/ {
    ns = -1
    if ($0 ~ /Win32 & DOS/) ns = 3
    else if ($0 ~ /Win32/) ns = 1
    else if ($0 ~ /DOS/) ns = 2
    else if ($0 ~ /POSIX/) ns = 0
    next
}
/^\tFilename:/ { print "name", rec, parent, ns, quoted($0); next }
/^\tVolume Version:/ {
    s = $0; sub(/^[^0-9]*/, "", s); split(s, ver, ".")
    major = ver[1] + 0; minor = ver[2] + 0
    next
}
/^\tVolume Flags:/ { s = $0; sub(/.*\(/, "", s); sub(/\).*/, "", s); vflags = hex(s); next }

END {
    flush()
    print "volume", major, minor, vflags, cluster, recsize, sector
}
