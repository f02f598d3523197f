"""Writes data/generated.jsonl: messages holding Indonesian PII in the
formats people write it, built from the public descriptions of each format
(NIK and KK layout, NPWP punctuation, BPJS card numbers, account lengths of
the large banks, card brands and the Luhn check, mobile prefixes, police
region codes, date and address conventions), plus near misses that must not
be reported. Each line: {"text", "pii": [[type, substring]...], "clear":
[substring...]}. Seeded, so the file is the same on every run:

    python3 tests/pii_detector/formats/make_generated_corpus.py
"""

import json
import os
import random

rnd = random.Random(20261210)
PROVINCES = [11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 31, 32, 33, 34, 35, 36, 51, 52, 53, 61, 62, 63, 64, 65,
             71, 72, 73, 74, 75, 76, 81, 82, 91, 92]
MONTHS = ["Januari", "Februari", "Maret", "April", "Mei", "Juni", "Juli", "Agustus", "September", "Oktober",
          "November", "Desember"]
ABBR = ["Jan", "Feb", "Mar", "Apr", "Mei", "Jun", "Jul", "Agt", "Sep", "Okt", "Nov", "Des"]
NAMES = ["Budi Santoso", "Siti Rahayu", "Agus Wijaya", "Dewi Lestari", "Rina Marlina", "Andi Pratama",
         "Putri Handayani", "Joko Susilo", "Sri Wahyuni", "Eko Prasetyo"]
STREETS = ["Merdeka", "Sudirman", "Gatot Subroto", "Diponegoro", "Ahmad Yani", "Pahlawan", "Kenanga", "Melati",
           "Cempaka Putih", "Raya Bogor"]
PLACES = [("Gambir", "Jakarta Pusat", "10110"), ("Coblong", "Bandung", "40132"), ("Tegalsari", "Surabaya", "60262"),
          ("Denpasar Barat", "Denpasar", "80119"), ("Medan Baru", "Medan", "20154")]
PLATES = ["B", "D", "F", "AB", "L", "N", "DK", "BK", "H", "AG", "KT", "DD"]


def d(n):
    return "".join(str(rnd.randint(0, 9)) for _ in range(n))


def nik(female=False):
    day = rnd.randint(1, 28) + (40 if female else 0)
    return (f"{rnd.choice(PROVINCES)}{rnd.randint(1, 79):02d}{rnd.randint(1, 40):02d}"
            f"{day:02d}{rnd.randint(1, 12):02d}{rnd.randint(50, 99):02d}{rnd.randint(1, 9999):04d}")


def luhn_complete(prefix, length):
    body = prefix + d(length - len(prefix) - 1)
    total = 0
    for i, ch in enumerate(reversed(body)):
        v = int(ch)
        if i % 2 == 0:
            v = v * 2 - 9 if v * 2 > 9 else v * 2
        total += v
    return body + str((10 - total % 10) % 10)


def group(s, sizes, sep):
    out, i = [], 0
    for n in sizes:
        out.append(s[i:i + n])
        i += n
    return sep.join(out)


def mobile():
    return "08" + rnd.choice(["11", "12", "13", "21", "22", "52", "53", "14", "15", "16", "55", "56", "57", "58",
                              "17", "18", "19", "59", "77", "78", "95", "96", "97", "98", "99", "81", "82", "83",
                              "88", "89"]) + d(rnd.choice([7, 8]))


def phone_forms(m):
    rest = m[1:]
    return [m, group(m, [4, 4, len(m) - 8], "-"), group(m, [4, 4, len(m) - 8], " "), group(m, [4, 4, len(m) - 8], "."),
            "+62" + rest, "+62 " + group(rest, [3, 4, len(rest) - 7], " "), "+62-" + group(rest, [3, 4, len(rest) - 7], "-"),
            "62" + rest, "(+62) " + group(rest, [3, 4, len(rest) - 7], "-")]


def entries():
    name = rnd.choice(NAMES)
    n = nik(rnd.random() < 0.5)
    for form in [n, group(n, [4, 4, 4, 4], " "), group(n, [4, 4, 4, 4], "-"), group(n, [6, 6, 4], " "),
                 group(n, [2, 2, 2, 6, 4], ".")]:
        label = rnd.choice(["NIK", "NIK:", "No. KTP", "nik saya", "NIK KTP", "Nomor Induk Kependudukan"])
        yield {"text": f"{label} {form} a.n. {name}", "pii": [["ID_KTP", form]]}
    kk = nik()
    for form in [kk, group(kk, [4, 4, 4, 4], " "), group(kk, [4, 4, 4, 4], "-")]:
        label = rnd.choice(["No. KK", "Nomor KK", "kartu keluarga", "KK:", "no kk"])
        yield {"text": f"{label} {form} ya kak", "pii": [["FAMILY_CARD_NUMBER", form]]}
    npwp = f"{rnd.randint(1, 99):02d}{d(7)}{rnd.randint(0, 9)}{d(3)}000"
    for form in [f"{npwp[:2]}.{npwp[2:5]}.{npwp[5:8]}.{npwp[8]}-{npwp[9:12]}.{npwp[12:]}", npwp,
                 group(npwp, [2, 3, 3, 1, 3, 3], " "), nik()]:
        yield {"text": f"NPWP {form} untuk faktur", "pii": [["ID_NPWP", form]]}
    bpjs = "000" + d(10)
    for form in [bpjs, group(bpjs, [4, 4, 5], " "), group(bpjs, [4, 4, 5], "-")]:
        yield {"text": f"kartu BPJS Kesehatan {form} masih aktif", "pii": [["ID_BPJS_NUMBER", form]]}
    for bank, length, sizes in [("BCA", 10, [3, 3, 4]), ("Mandiri", 13, [3, 2, 4, 4]), ("BRI", 15, [4, 2, 6, 2, 1]),
                                ("BNI", 10, [3, 3, 4]), ("BSI", 10, [4, 3, 3]), ("CIMB Niaga", 13, [3, 2, 4, 4]),
                                ("Permata", 10, [5, 5]), ("BTN", 16, [4, 4, 4, 4])]:
        acct = str(rnd.randint(1, 9)) + d(length - 1)
        form = rnd.choice([acct, group(acct, sizes, "-"), group(acct, sizes, " ")])
        label = rnd.choice(["rek", "no. rek", "norek", "rekening", "transfer ke rek"])
        yield {"text": f"{label} {bank} {form} a.n. {name}", "pii": [["BANK_ACCOUNT", form]]}
    for form in phone_forms(mobile()):
        yield {"text": rnd.choice(["WA {} ya kak", "Hubungi {} sore ini", "HP: {}", "bisa telp ke {} kapan saja"]).format(form),
               "pii": [["PHONE_NUMBER", form]]}
    land = rnd.choice(["021", "022", "031", "0274", "0361"]) + d(7)
    for form in [f"({land[:-7]}) {land[-7:-4]}-{land[-4:]}", f"{land[:-7]}-{land[-7:]}", f"+62 {land[1:-7]} {land[-7:]}"]:
        yield {"text": f"Telp kantor {form}", "pii": [["PHONE_NUMBER", form]]}
    user = name.split()[0].lower() + str(rnd.randint(1, 99))
    first, last = (name.split() + ["x"])[:2]
    for form in [f"{user} at gmail dot com", f"{user}[at]gmail[dot]com", f"{user} (at) yahoo (dot) co (dot) id",
                 f"{user}@gmail.com", f"{first.lower()} dot {last.lower()} at outlook dot com",
                 f"{first.lower()}[dot]{last.lower()}[at]gmail[dot]com"]:
        yield {"text": f"email saya {form} ya", "pii": [["EMAIL_ADDRESS", form]]}
    for prefix, length, sizes in [("4", 16, [4, 4, 4, 4]), ("51", 16, [4, 4, 4, 4]), ("2221", 16, [4, 4, 4, 4]),
                                  ("2720", 16, [4, 4, 4, 4]), ("37", 15, [4, 6, 5]), ("3530", 16, [4, 4, 4, 4])]:
        card = luhn_complete(prefix, length)
        form = rnd.choice([group(card, sizes, " "), group(card, sizes, "-")])
        yield {"text": f"bayar pakai kartu kredit {form} exp 12/27", "pii": [["CREDIT_CARD", form]]}
    passport = rnd.choice("ABCEX") + d(7)
    yield {"text": f"Nomor paspor {passport} berlaku sampai 2030", "pii": [["ID_PASSPORT", passport]]}
    sim = d(12)
    yield {"text": f"SIM A {group(sim, [4, 4, 4], '-')} atas nama {name}", "pii": [["ID_SIM", group(sim, [4, 4, 4], '-')]]}
    plate = f"{rnd.choice(PLATES)} {rnd.randint(1, 9999)} {''.join(rnd.choice('ABCDEFGHJKLMNPRSTUVWXYZ') for _ in range(rnd.randint(1, 3)))}"
    yield {"text": f"Mobil Avanza hitam {plate} parkir di depan", "pii": [["VEHICLE_PLATE", plate]]}
    day, month, year = rnd.randint(1, 28), rnd.randint(1, 12), rnd.randint(1950, 2005)
    for form in [f"{day:02d}-{month:02d}-{year}", f"{day:02d}/{month:02d}/{year}", f"{day:02d}.{month:02d}.{year}",
                 f"{day} {MONTHS[month - 1]} {year}", f"{day} {ABBR[month - 1]} {year}"]:
        label = rnd.choice(["Tgl lahir", "tanggal lahir", "TTL: Bandung,", "lahir", "tgl"])
        yield {"text": f"{label} {form}", "pii": [["DATE_TIME", form]]}
    yield {"text": f"jadwal kontrol pukul {rnd.randint(7, 20):02d}.{rnd.choice(['00', '15', '30'])} WIB",
           "pii": [["DATE_TIME", None]]}
    kel, city, post = rnd.choice(PLACES)
    street = rnd.choice(STREETS)
    for form in [f"Jl. {street} No. {rnd.randint(1, 200)} RT 0{rnd.randint(1, 9)}/RW 0{rnd.randint(1, 9)}, Kel. {kel}, {city} {post}",
                 f"Jalan {street} No {rnd.randint(1, 200)}, {city}",
                 f"Gg. {street} No. {rnd.randint(1, 40)}A, Kec. {kel}, {city}",
                 f"Perum {street} Blok C{rnd.randint(1, 9)} No. {rnd.randint(1, 30)}, {city} {post}"]:
        yield {"text": f"Alamat kirim: {form}. Terima kasih", "pii": [["ADDRESS", form]]}
    # Near misses: must not be reported at all.
    # Near misses: the code must not be reported, nor any part of it.
    for text, clear in [
        ("No. pesanan {} sudah dikirim", f"{rnd.randint(2020, 2025)}{d(12)}"),
        ("Invoice {} lunas", f"INV/{rnd.randint(2020, 2025)}/{rnd.randint(1, 12):02d}/{d(5)}"),
        ("Resi JNE {} sedang diproses", "JP" + d(10)),
        ("SK Nomor {} berlaku", f"{rnd.randint(1, 999)}/KEP/{rnd.randint(2015, 2024)}"),
        ("Skor akhir {} di menit 90", f"{rnd.randint(0, 5)}-{rnd.randint(0, 5)}"),
        ("Update ke versi {} dulu", f"{rnd.randint(1, 9)}.{rnd.randint(0, 20)}.{rnd.randint(0, 9)}"),
        ("ISBN {} cetakan kedua", f"978-602-{d(4)}-{d(2)}-{d(1)}"),
        ("Kode produk {} stok 7", f"SKU{d(8)}"),
        ("Klasemen: {}", f"15 {rnd.randint(1, 9)} {rnd.randint(1, 9)} {rnd.randint(1, 9)} 13 28 13"),
        ("Tagihan nomor {} jatuh tempo", d(16)),
        ("Harga {} per unit", f"Rp {rnd.randint(10, 999)}.000"),
        ("Nomor antrean {} dipanggil", f"A{rnd.randint(1, 300):03d}"),
    ]:
        yield {"text": text.format(clear), "pii": [], "clear": [clear]}


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "generated.jsonl")
    with open(out, "w", encoding="utf-8") as f:
        for _ in range(12):
            for e in entries():
                if e["pii"] and e["pii"][0][1] is None:
                    text = e["text"]
                    e["pii"] = [["DATE_TIME", text[text.index("pukul"):]]]
                f.write(json.dumps(e, ensure_ascii=False) + "\n")


if __name__ == "__main__":
    main()
