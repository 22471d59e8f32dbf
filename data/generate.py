#!/usr/bin/env python3
"""Writes the bundled sample catalogue: restaurace.csv, ubytovani.csv and data.ini.

Everything here is made up: the names, the addresses, the telephone numbers and the texts. The
output depends on nothing but this file (a fixed random seed), so running it again gives the same
bytes. The build does not run it; the files it writes are kept beside it.

    python3 data/generate.py            # writes into the directory of this script
    python3 data/generate.py --count 1000000 --out /tmp/big   # a big catalogue, for measuring

With --count the restaurants are that many (330 by default); past the signs a catalogue can
hold once, the same signs come again numbered ("U Zlatého lva 2").
"""

import argparse
import csv
import math
import os
import random

HEADER = ["DE_1", "DE_3", "DE_4", "DE_5", "DE_7", "DE_9", "DE_11"]
NAME_LIMIT = 60  # the size of DE_1
LINE_LIMIT = 60  # DE_3, DE_4, DE_5
PHONE_LIMIT = 30  # DE_7, DE_9
# The main window shows the telephone in a label 113 pixels wide and the fax in one 73 pixels
# wide, without wrapping. The numbers are written to fit them, as the catalogue's data entry
# would: digits in pairs ("02/32 02 23 70"), else in halves ("02/3202 2370"), else together; a
# second telephone number only where it fits too. Widths are measured with the advances of the
# window's font (DejaVu Sans Condensed at 11 pixels), which the viewer's tests check again.
PHONE_WIDTH = 113
FAX_WIDTH = 73
ADVANCES = {" ": 3.141, ",": 3.141, "/": 3.328, **{digit: 6.281 for digit in "0123456789"}}

# --- places -------------------------------------------------------------------------------------

# (postal code and town, district or region, telephone area code, digits of a local number)
PRAGUE = [
    ("110 00 Praha 1", "Staré Město"),
    ("110 00 Praha 1", "Nové Město"),
    ("118 00 Praha 1", "Malá Strana"),
    ("120 00 Praha 2", "Vinohrady"),
    ("128 00 Praha 2", "Nové Město"),
    ("130 00 Praha 3", "Žižkov"),
    ("140 00 Praha 4", "Nusle"),
    ("150 00 Praha 5", "Smíchov"),
    ("160 00 Praha 6", "Dejvice"),
    ("169 00 Praha 6", "Břevnov"),
    ("170 00 Praha 7", "Holešovice"),
    ("186 00 Praha 8", "Karlín"),
    ("190 00 Praha 9", "Vysočany"),
    ("101 00 Praha 10", "Vršovice"),
]
TOWNS = [
    ("602 00 Brno", "Jižní Morava", "05", 8),
    ("612 00 Brno", "Jižní Morava", "05", 8),
    ("702 00 Ostrava", "Severní Morava", "069", 6),
    ("301 00 Plzeň", "Západní Čechy", "019", 6),
    ("772 00 Olomouc", "Střední Morava", "068", 6),
    ("370 01 České Budějovice", "Jižní Čechy", "038", 6),
    ("500 02 Hradec Králové", "Východní Čechy", "049", 6),
    ("460 01 Liberec", "Severní Čechy", "048", 6),
    ("530 02 Pardubice", "Východní Čechy", "040", 6),
    ("760 01 Zlín", "Jižní Morava", "067", 6),
    ("586 01 Jihlava", "Vysočina", "066", 6),
    ("360 01 Karlovy Vary", "Západní Čechy", "017", 6),
    ("400 01 Ústí nad Labem", "Severní Čechy", "047", 6),
    ("390 01 Tábor", "Jižní Čechy", "0361", 6),
    ("381 01 Český Krumlov", "Jižní Čechy", "0337", 6),
    ("284 01 Kutná Hora", "Střední Čechy", "0327", 6),
    ("379 01 Třeboň", "Jižní Čechy", "0333", 6),
    ("669 02 Znojmo", "Jižní Morava", "0624", 6),
    ("588 56 Telč", "Vysočina", "066", 6),
    ("251 01 Říčany", "Střední Čechy", "0204", 6),
    ("353 01 Mariánské Lázně", "Západní Čechy", "0165", 6),
    ("543 01 Vrchlabí", "Krkonoše", "0438", 6),
    ("749 01 Vítkov", "Severní Morava", "0653", 6),
    ("691 41 Břeclav", "Jižní Morava", "0627", 6),
]
STREETS = [
    "Dlouhá", "Husova", "Jungmannova", "Masarykova", "Palackého", "Nádražní", "Školní",
    "Zahradní", "Lipová", "Komenského", "Nerudova", "Žitná", "Vodičkova", "Štěpánská",
    "Křižíkova", "Sokolská", "Táboritská", "Řeznická", "Jiráskova", "Havlíčkova", "Smetanova",
    "Tyršova", "Riegrova", "Kollárova", "Čechova", "Purkyňova", "Dvořákova", "Korunní",
    "U Radnice", "Na Příkopě", "Pod Hradem", "Mlýnská", "Rybářská", "Kostelní", "Zámecká",
    "Hřbitovní", "Polní", "Lesní", "Vinohradská", "Pražská", "Brněnská", "Nábřeží Svobody",
    "Náměstí Míru", "Masarykovo náměstí", "Horní náměstí", "Dolní náměstí", "Karlova",
    "Široká", "Úzká", "Krátká", "Křížová", "Sladkovského", "Šafaříkova", "Žižkova",
]

# --- names --------------------------------------------------------------------------------------

ADJECTIVES = [  # genitive, masculine and neuter
    "Zlatého", "Černého", "Bílého", "Starého", "Modrého", "Zeleného", "Červeného", "Veselého",
    "Hrbatého", "Tichého", "Žlutého", "Šedého", "Dobrého", "Křivého", "Malého", "Velkého",
    "Stříbrného", "Divokého", "Zpívajícího", "Třetího",
]
NOUNS = [  # genitive, masculine and neuter
    "lva", "koně", "jelena", "medvěda", "kohouta", "beránka", "býka", "orla", "havrana",
    "sokola", "kapra", "raka", "soudku", "džbánu", "hroznu", "mlýna", "stromu", "kříže", "zvonu",
    "klíče", "měsíce", "slunce", "čápa", "ježka", "vola", "kance", "draka", "bažanta",
]
KINDS_U = ["Restaurace", "Hostinec", "Pivnice", "Vinárna", "Hospoda", "Restaurace a pivnice",
           "Vinný sklep", ""]
OTHER_NAMES = [
    "Bistro Čtyřlístek", "Bistro Na Rohu", "Bistro Šnek", "Kavárna Ořech", "Kavárna Čajovna Zen",
    "Kavárna Modrá hvězda", "Jídelna Na Statku", "Jídelna Úsměv", "Restaurace Pod Lípou",
    "Restaurace Na Rychtě", "Restaurace Na Růžku", "Restaurace Pod Skalou", "Restaurace Rybníček",
    "Restaurace Slunečnice", "Restaurace Zámeček", "Restaurace Hájovna", "Restaurace Ráj",
    "Restaurace Čertovka", "Restaurace Řeka", "Restaurace Šumava", "Restaurace Žirafa",
    "Hospoda Na Hrázi", "Hospoda Na Kopečku", "Hospoda Pod Věží", "Hospůdka Na Louce",
    "Hospůdka Sklípek", "Pivnice Sedm schodů", "Pivnice Dobrá nálada", "Vinárna Sklep u Řeky",
    "Vinárna Modrý hrozen", "Vinárna Ryzlink", "Čínská restaurace Zlatý drak",
    "Čínská restaurace Lotos", "Indická restaurace Kurkuma", "Řecká taverna Olivovník",
    "Mexická restaurace Kaktus", "Rybí restaurace Štika", "Steak house Bizon",
    "Vegetariánská jídelna Řepa", "Čajovna Ve Stínu", "Cukrárna a kavárna Ševcovka",
    "Kavárna Ďáblík", "Bufet Ťapka", "Lovecká chata Ždár", "Salaš Pod Ještědem",
    "Motorest Na Křižovatce", "Zájezdní hostinec Koníček", "Klub Čtyři větry",
    "Restaurace Nádraží", "Restaurace Sokolovna", "Restaurace Lázně", "Jídelna Ševce Pepíka",
    "Hostinec Na Mýtince", "Krčma U Loupežníků", "Dřevěná chalupa Čeřovka",
    "Bistro Ňamka", "Grill bar Ďobek", "Restaurace Ťuhýk", "Restaurace Ďáblova stezka",
]
PIZZA_NAMES = [
    "PIZZA NAPOLI", "Pizza u mostu", "Pizzerie Bella Čenda", "Pizzerie Mamma Růžena",
    "Restaurace a pizza Šumava", "pizza bar Žabka", "Pizza Řecká brána", "Kavárna a Pizza Ráj",
    "Pizzerie Vesuvio na Žižkově",
]
LONG_NAMES = [
    # wider than 280 pixels in an 8-point bold sans serif
    "Restaurace a vinárna U Zlatého kohouta na Starém Městě",
    "Hotelová restaurace Čtyři roční období se zahrádkou a sálem",
    "Stylová hospoda a pivnice U Tří veselých šafránů v Řečicích",
]


def unique_names(rng, count):
    names = set()
    for name in OTHER_NAMES + PIZZA_NAMES + LONG_NAMES + ["PROFILTERIT"]:
        assert len(name) <= NAME_LIMIT, name
        names.add(name)
    signs = set()  # one "U Zlatého lva" per catalogue
    while len(names) < count and len(signs) < len(ADJECTIVES) * len(NOUNS):
        sign = "U " + rng.choice(ADJECTIVES) + " " + rng.choice(NOUNS)
        if sign in signs:
            continue
        signs.add(sign)
        kind = rng.choice(KINDS_U)
        names.add(kind + " " + sign if kind else sign)
    # A catalogue bigger than the signs: each comes again, numbered from 2.
    seen = {}
    while len(names) < count:
        kind = rng.choice(KINDS_U)
        sign = "U " + rng.choice(ADJECTIVES) + " " + rng.choice(NOUNS)
        base = kind + " " + sign if kind else sign
        seen[base] = seen.get(base, 1) + 1
        names.add("%s %d" % (base, seen[base]))
    return sorted(names)[:count]


# --- texts --------------------------------------------------------------------------------------

OPENINGS = [
    "Tradiční česká restaurace v klidné části města.",
    "Útulná hospoda s dlouholetou tradicí a domácí atmosférou.",
    "Rodinný podnik, který vaří poctivá jídla z čerstvých surovin.",
    "Stylová restaurace v historickém domě ze 16. století.",
    "Moderně zařízený podnik s prosklenou verandou a výhledem na řeku.",
    "Vyhlášená pivnice, kam chodí štamgasti už po tři generace.",
    "Malá vinárna v klenutém sklepě pod náměstím.",
    "Čistý a světlý podnik vhodný pro obchodní schůzky i rodinné oslavy.",
    "Oblíbené místo turistů i místních, nedaleko hlavního náměstí.",
    "Restaurace v přízemí secesního domu s původními dřevěnými obklady.",
    "Čerstvě zrekonstruovaný hostinec na kraji obce u cyklostezky.",
    "Podnik s příjemnou obsluhou a přiměřenými cenami.",
]
CUISINE = [
    "Chloubou domu je svíčková na smetaně s houskovým knedlíkem.",
    "Nabízíme pečenou kachnu se zelím a bramborovým knedlíkem.",
    "V nabídce jsou steaky z hovězí svíčkové, pstruzi na másle a saláty.",
    "Každý den vaříme tři polévky a šest hotových jídel.",
    "Kuchyně se zaměřuje na jihočeské rybí pokrmy, zejména kapra a štiku.",
    "Vaříme jídla české, slovenské a maďarské kuchyně.",
    "K dostání jsou bezmasá jídla, smažený sýr a zeleninové saláty.",
    "Zvěřinové hody pořádáme každý listopad.",
    "Vepřové koleno pečené na černém pivu je pýchou našeho šéfkuchaře.",
    "Domácí koláče, štrúdl a zmrzlinové poháry připravujeme sami.",
    "Nabízíme polední menu za zvýhodněné ceny od 49 Kč.",
    "Čínská kuchyně s kantonskými a sečuánskými pokrmy.",
    "Ryby a mořské plody dovážíme dvakrát týdně.",
]
DRINKS = [
    "Čepujeme světlé výčepní pivo a dvanáctistupňový ležák z regionálního pivovaru.",
    "Víno z jihomoravských vinařství podáváme i rozlévané.",
    "Vybrat si můžete z více než čtyřiceti druhů moravských vín.",
    "Točíme tmavé pivo z malého rodinného pivovaru.",
    "Nabízíme míchané nápoje, domácí limonády a čerstvě praženou kávu.",
    "Ke kávě doporučujeme naše domácí zákusky.",
]
ROOMS = [
    "Kapacita {a} míst, salonek pro {b} osob.",
    "Restaurace má {a} míst a letní zahrádku s {b} místy.",
    "V hlavním sále je {a} míst, v nekuřáckém salonku dalších {b}.",
    "K dispozici je sál pro {a} osob, vhodný pro svatby a firemní večírky.",
    "Malý podnik s {b} místy, rezervace doporučujeme.",
]
HOURS = [
    "Otevřeno denně od 11:00 do 23:00.",
    "Otevřeno Po-Pá 10:00 - 22:00, So-Ne 11:00 - 24:00.",
    "Otevřeno denně kromě pondělí od 11:30 do 22:30.",
    "Otevírací doba: Po-Čt 11:00 - 23:00, Pá-So 11:00 - 01:00, Ne zavřeno.",
    "Otevřeno nonstop.",
    "Otevřeno denně od 17:00 do 02:00.",
]
EXTRAS = [
    "Platba kreditní kartou je možná.",
    "Parkování přímo před restaurací.",
    "Hlídané parkoviště pro hosty zdarma.",
    "V létě je otevřena zahrádka pod kaštany.",
    "Pořádáme svatby, rauty a firemní akce.",
    "Každý pátek hraje živá hudba.",
    "K dispozici jsou dva kulečníkové stoly a šipky.",
    "Děti mají svůj jídelní lístek a dětský koutek.",
    "Psi jsou vítáni.",
    "Jídla připravujeme také s sebou.",
    "Rozvoz jídel po městě zdarma při objednávce nad 300 Kč.",
    "Nekuřácký prostor pro 20 osob.",
    "Bezbariérový přístup.",
    "Přijímáme stravenky.",
    "Mluvíme německy a anglicky.",
    "Čtvrtek je vyhrazen pro pravidelný večer s cimbálovou muzikou.",
    "Upozorňujeme, že v zimních měsících může být zahrádka uzavřena.",
]
PIZZA_LINES = [
    "Pizzu pečeme v peci na dřevo, těsto připravujeme každé ráno.",
    "Vybírat můžete z třiceti druhů pizzy, mimo jiné s olivami, šunkou a žampiony.",
    "Pizza s sebou do 20 minut, rozvoz v okruhu pěti kilometrů.",
]
MENU_DISHES = [
    ("Hovězí vývar s játrovými knedlíčky", 25), ("Česnečka se sýrem a krutony", 22),
    ("Bramboračka s houbami", 24), ("Dršťková polévka", 28), ("Kulajda se zastřeným vejcem", 32),
    ("Svíčková na smetaně, houskový knedlík", 89), ("Vepřo knedlo zelo", 79),
    ("Pečená kachna, červené zelí, bramborový knedlík", 149),
    ("Smažený řízek, bramborový salát", 95), ("Moravský vrabec, špenát, knedlík", 85),
    ("Španělský ptáček, rýže", 92), ("Guláš se šesti knedlíky", 79),
    ("Pstruh na másle, vařené brambory", 129), ("Kapr smažený, bramborový salát", 119),
    ("Hovězí steak z pravé svíčkové, americké brambory", 249), ("Smažený sýr, hranolky, tatarka", 69),
    ("Zeleninové rizoto se sýrem", 65), ("Bramboráky se zelím a uzeným masem", 89),
    ("Jelení guláš, karlovarský knedlík", 159), ("Kančí na divoko, šípková omáčka", 169),
    ("Ovocné knedlíky s tvarohem a máslem", 59), ("Palačinky s borůvkami a šlehačkou", 45),
    ("Jablečný štrúdl", 35), ("Zmrzlinový pohár Čokoláda", 49), ("Utopenec s cibulí", 29),
    ("Nakládaný hermelín", 39), ("Tlačenka s octem a cibulí", 35), ("Topinky s česnekem", 25),
]
HISTORY = [
    "Dům, v němž restaurace sídlí, byl poprvé zmíněn v městské knize roku 1578.",
    "V 19. století zde býval zájezdní hostinec, kde formani přepřahali koně.",
    "Za první republiky se tu scházel spolek ochotníků a na zahradě se hrálo divadlo.",
    "Po roce 1948 sloužily prostory jako sklad a restaurace byla obnovena až v roce 1991.",
    "Při rekonstrukci se podařilo zachovat původní klenby, dlažbu i kachlová kamna.",
    "Na stěnách visí dobové fotografie a pohlednice ze sbírek místních pamětníků.",
    "Majitelé pocházejí z rodiny, která vaří pro hosty už od roku 1896.",
]


def price(rng, base):
    return base + rng.choice([0, 0, 5, 10, -5])


def short_description(rng, pizza):
    parts = [rng.choice(OPENINGS)]
    more = rng.choice([0, 0, 1, 2, 3, 4, 5, 6, 8])
    pool = CUISINE + DRINKS + EXTRAS
    if pizza:
        parts.append(rng.choice(PIZZA_LINES))
    for sentence in rng.sample(pool, more):
        parts.append(sentence)
    if more >= 2:
        parts.append(rng.choice(ROOMS).format(a=rng.randrange(30, 160, 5), b=rng.randrange(12, 60, 2)))
    if more >= 1:
        parts.append(rng.choice(HOURS))
    return " ".join(parts)


def long_description(rng, name):
    """A text well beyond 4 095 bytes, in paragraphs separated by CR LF."""
    paragraphs = [rng.choice(OPENINGS) + " " + " ".join(HISTORY)]
    paragraphs.append(" ".join(CUISINE + DRINKS))
    menu = ["Jídelní lístek (ceny v Kč, platné od 1. 3. 2000):"]
    for dish, base in MENU_DISHES:
        menu.append("  %s ... %d Kč" % (dish, price(rng, base)))
    paragraphs.append("\r\n".join(menu))
    paragraphs.append(" ".join(EXTRAS))
    paragraphs.append(
        "Rezervace stolů přijímáme telefonicky každý den od 9:00. Skupinám nad deset osob "
        "připravíme menu podle přání. Těšíme se na vaši návštěvu v restauraci " + name + "."
    )
    text = "\r\n\r\n".join(paragraphs)
    while len(text.encode("utf-8")) < 5000:
        text += "\r\n\r\n" + " ".join(rng.sample(HISTORY + EXTRAS, 6))
    return text


# --- addresses and numbers ----------------------------------------------------------------------


def local_number(rng, digits):
    number = "".join(str(rng.randrange(10)) for _ in range(digits))
    if number[0] == "0":
        number = "2" + number[1:]
    return number


def address(rng):
    street = "%s %d" % (rng.choice(STREETS), rng.randrange(1, 60))
    if rng.random() < 0.3:
        street = "%s %d/%d" % (rng.choice(STREETS), rng.randrange(100, 2400), rng.randrange(1, 40))
    if rng.random() < 0.45:
        town, region = rng.choice(PRAGUE)
        area, digits = "02", 8
    else:
        town, region, area, digits = rng.choice(TOWNS)
    return street, town, region, area, digits


def text_width(text):
    return math.ceil(sum(ADVANCES[c] for c in text))


def written(area, locals_, width):
    """The numbers of one area code in the first grouping that fits `width`, or None."""
    def grouped(number, size):
        return " ".join(number[i:i + size] for i in range(0, len(number), size))

    for style in ("pairs", "halves", "together"):
        parts = [grouped(n, {"pairs": 2, "halves": len(n) // 2, "together": len(n)}[style])
                 for n in locals_]
        text = "%s/%s" % (area, ", ".join(parts))
        if text_width(text) <= width:
            return text
    return None


def numbers(rng, area, digits):
    first = local_number(rng, digits)
    phone = written(area, [first], PHONE_WIDTH)
    if rng.random() < 0.15:
        second = local_number(rng, digits)
        phone = written(area, [first, second], PHONE_WIDTH) or phone
    fax = ""
    roll = rng.random()
    if roll < 0.35:
        fax = written(area, [first[:-1] + str((int(first[-1]) + 1) % 10)], FAX_WIDTH)
    elif roll < 0.6:
        fax = written(area, [local_number(rng, digits)], FAX_WIDTH)
    return phone, fax


# --- output -------------------------------------------------------------------------------------


def check_row(row):
    for key, limit in (("DE_1", NAME_LIMIT), ("DE_3", LINE_LIMIT), ("DE_4", LINE_LIMIT),
                       ("DE_5", LINE_LIMIT), ("DE_7", PHONE_LIMIT), ("DE_9", PHONE_LIMIT)):
        assert len(row[key].encode("cp1250")) <= limit, (key, row[key])
    for key, width in (("DE_7", PHONE_WIDTH), ("DE_9", FAX_WIDTH)):
        assert text_width(row[key]) <= width, (key, row[key])
    row["DE_11"].encode("cp1250")  # every character fits the tables' code page


def write_csv(path, rows):
    with open(path, "w", encoding="utf-8", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=HEADER, lineterminator="\r\n")
        writer.writeheader()
        for row in rows:
            check_row(row)
            writer.writerow(row)


def restaurants(rng, count):
    names = unique_names(rng, count)
    rng.shuffle(names)  # the table sorts them; the file does not
    long_texts = set(rng.sample([n for n in names if n != "PROFILTERIT"], 3))
    rows = []
    for name in names:
        street, town, region, area, digits = address(rng)
        phone, fax = numbers(rng, area, digits)
        pizza = "pizz" in name.lower()
        if name == "PROFILTERIT":
            text = ("Firemní jídelna a kantýna společnosti PROFILTERIT. Obědy pro veřejnost "
                    "Po-Pá 11:00 - 14:00. Čtyři hotová jídla denně, polévka v ceně menu.")
        elif name in long_texts:
            text = long_description(rng, name)
        else:
            text = short_description(rng, pizza)
        rows.append({"DE_1": name, "DE_3": street, "DE_4": town, "DE_5": region,
                     "DE_7": phone, "DE_9": fax, "DE_11": text})
    return rows


LODGING_KINDS = ["Hotel", "Penzion", "Motel", "Ubytovna", "Chata", "Hotel garni", "Apartmány",
                 "Horská bouda", "Kemp", "Turistická ubytovna"]
LODGING_NAMES = [
    "Černá růže", "Zlatá štika", "Šumavan", "Pod Sněžkou", "Na Výsluní", "Říčka", "Lesní zátiší",
    "Čtyřlístek", "Modrá hvězda", "U Kašny", "Podzámčí", "Žernosek", "Vyhlídka", "Slavie",
    "Astra", "Beránek", "Úsvit", "Hájenka", "Jitřenka", "Skalka", "U Mlýna", "Na Ostrůvku",
    "Ďáblík", "Bílý dům", "Relax", "Horalka", "Poustevna", "Ořešák", "U Tří lip", "Bystřina",
    "Čeřovka", "Na Kovárně", "Kamenný dvůr", "Dubina", "Sluneční dvůr", "Ráj", "Svatý Jan",
    "Zámeček", "Pod Radnicí", "Přístav", "Nad Údolím", "Jelenovka",
]
LODGING_LINES = [
    "Ubytování ve dvoulůžkových a třílůžkových pokojích s vlastním sociálním zařízením.",
    "Všechny pokoje mají televizi se satelitem a telefon.",
    "Snídaně formou bufetu je v ceně ubytování.",
    "Cena za osobu a noc od {p} Kč včetně snídaně.",
    "Hotelová restaurace nabízí českou kuchyni a polopenzi.",
    "Uzavřené parkoviště přímo u budovy.",
    "Sauna, bazén a fitness pro hosty zdarma.",
    "Ideální výchozí místo pro pěší výlety a cykloturistiku.",
    "V zimě půjčovna lyží a lyžařský vlek 200 metrů od chaty.",
    "Domácí zvířata po dohodě.",
    "Slevy pro skupiny a školní zájezdy.",
    "Směnárna a prodej vstupenek na recepci.",
    "Recepce otevřena nonstop.",
]


def lodging(rng):
    rows = []
    used = set()
    while len(rows) < 42:
        name = rng.choice(LODGING_KINDS) + " " + rng.choice(LODGING_NAMES)
        if name in used:
            continue
        used.add(name)
        street, town, region, area, digits = address(rng)
        phone, fax = numbers(rng, area, digits)
        beds = rng.randrange(8, 180)
        lines = ["Celkem %d lůžek." % beds]
        for line in rng.sample(LODGING_LINES, rng.randrange(1, 7)):
            lines.append(line.format(p=rng.randrange(250, 1600, 10)))
        rows.append({"DE_1": name, "DE_3": street, "DE_4": town, "DE_5": region,
                     "DE_7": phone, "DE_9": fax, "DE_11": " ".join(lines)})
    return rows


INI = """; The sections of the bundled catalogue: one table each.
[1]
d_name=restaurace
d_caption=Restaurace a hospody
d_inet=www.katalog-restauraci.example
d_left=Aktualizace 2000
d_right=Změna vyhrazena

[2]
d_name=ubytovani
d_caption=Ubytování v Čechách a na Moravě
d_inet=www.katalog-ubytovani.example
d_left=Aktualizace 2000
d_right=Změna vyhrazena
"""


def main():
    parser = argparse.ArgumentParser(description="Writes the sample catalogue's sources.")
    parser.add_argument("--count", type=int, default=330, help="the number of restaurants")
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)),
                        help="the directory to write into (default: this script's)")
    options = parser.parse_args()
    if options.count < 4:
        parser.error("--count must be at least 4")
    here = options.out
    os.makedirs(here, exist_ok=True)
    write_csv(os.path.join(here, "restaurace.csv"),
              restaurants(random.Random(2000), options.count))
    write_csv(os.path.join(here, "ubytovani.csv"), lodging(random.Random(1999)))
    with open(os.path.join(here, "data.ini"), "wb") as out:
        out.write(INI.replace("\n", "\r\n").encode("cp1250"))


if __name__ == "__main__":
    main()
